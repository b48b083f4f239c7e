// The connection and microphone settings dialog.
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TSettings;
class TSystemIni;

// Modal dialog in which the user enters where the station's remote-control interface is (host,
// port, TLS), the credentials, and picks the microphone from the capture endpoints. Created,
// shown modally and destroyed on each use.
//
// Showing it copies the five connection values out of TSettings (under its lock, since request
// workers read them at the same time), lists the capture endpoints and selects the current
// microphone (entry 0 of the system settings' Inputs); a stored microphone that is not
// connected now is listed as "NAME (not connected)" and chosen, and an empty list says why it is
// empty. OK stores the five values back under the lock, stores the chosen endpoint's identifier
// (and name) as the microphone and saves system.ini at once; settings.ini is written when the
// program ends. Cancel, Escape or closing the window stores nothing; the microphone is marked as
// a WASAPI device as soon as the dialog shows, though.
class TSettingsFrm : public QDialog
{
  Q_OBJECT

public:
  // Works on the program's instances (::Settings, ::SystemIni).
  explicit TSettingsFrm(QWidget* AParent = nullptr);
  // Works on the given instances, which must outlive the dialog.
  TSettingsFrm(TSettings* ASettings, TSystemIni* ASystemIni, QWidget* AParent = nullptr);
  ~TSettingsFrm() override;

  // Identifiers of the listed capture endpoints, position n belonging to item n of cbInput. The
  // connected endpoints come first; a stored microphone that is not connected follows them.
  const QStringList& DeviceIds() const { return FDeviceIds; }

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void CreateControls();
  void FormShow();
  void btOKClick();

  TSettings* FSettings;
  TSystemIni* FSystemIni;
  QStringList FDeviceIds;
  int FConnectedCount = 0; // the connected endpoints at the head of FDeviceIds

  QGroupBox* gbConnection;
  QLabel* Label1;
  QLineEdit* edServer;
  QLabel* Label2;
  QSpinBox* nbPort;
  QCheckBox* chTLS;
  QLabel* Label3;
  QLineEdit* edUser;
  QLabel* Label4;
  QLineEdit* edPass;
  QGroupBox* gbInput;
  QLabel* Label5;
  QComboBox* cbInput;
  QLabel* lbInputState;
  QPushButton* btOK;
  QPushButton* btCancel;
};
