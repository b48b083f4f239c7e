// The compressor window: gain, threshold, ratio, attack and release sliders, Reset and the preset
// menu. Every change goes into the stage's Params at once and is applied to the running stage.
#pragma once

#include "settings/dsp_items.h"

#include <QDialog>
#include <QString>

class QAction;
class QMenu;
class QPushButton;
class QWidget;
class TLBar;
class TPresetManager;

class TCompressorDSPFrm : public QDialog
{
  Q_OBJECT

public:
  // AD is the stage being edited; it must outlive the window.
  explicit TCompressorDSPFrm(TDSPItemC* AD, QWidget* AParent = nullptr);
  ~TCompressorDSPFrm() override;

  // The one open compressor window, as for the equalizer: Open replaces it, CloseOpen deletes
  // it at once.
  static void Open(TDSPItemC* AItem, QWidget* AOwner);
  static void CloseOpen();
  static TCompressorDSPFrm* OpenWindow();

  // Shared by the five sliders: once the window is set up, Params gets the five values.
  void cpGainValueChange(QObject* ASender);
  // Gain 4 dB, threshold -16 dB, ratio 5, attack 10 ms, release 200 ms.
  void btResetClick();
  // Asks for a name and saves the five values as a .cmp preset.
  void Save1Click();
  // The preset manager's load action.
  void LoadPreset(QObject* ASender, const QString& AFileName);
  // What a screen reader hears for the ratio slider at APosition: "2.5".
  static QString RatioAccessibleValue(int APosition);

  TLBar* cpGain = nullptr;
  TLBar* cpThres = nullptr;
  TLBar* cpRatio = nullptr;
  TLBar* cpAttack = nullptr;
  TLBar* cpRelease = nullptr;
  QPushButton* btReset = nullptr;
  QPushButton* btPreset = nullptr;
  QPushButton* btOK = nullptr;
  QMenu* pmPreset = nullptr;
  QMenu* Load1 = nullptr;
  QAction* Save1 = nullptr;
  QMenu* Delete1 = nullptr;
  bool InitFinished = false;
  TPresetManager* FPresetManager = nullptr;
  TDSPItemC* D;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void CreateControls();
  void FormShow();
  void SetValues(double AGain, double AThres, double ARatio, double AAttack, double ARelease);
};
