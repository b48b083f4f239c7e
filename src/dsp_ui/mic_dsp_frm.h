// The microphone DSP window (TMicDSPFrm): hosts a chain editor over the microphone chain, which
// lives in the player settings (MicDSPList). The main window creates it once, hidden, and shows
// it window-modally from its DSP button; closing it writes player.ini with every edit so far.
// Edits made later (in a stage window still open, or by a plug-in) are written when such a
// window closes and at the program's end, if the settings changed since the last save.
#pragma once

#include "audio/bass.h"

#include <QByteArray>
#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>

namespace vexmo::audio {
class TLevelMeter;
}
class QCheckBox;
class QLabel;
class QPushButton;
class TLevelMeterWidget;
class TDSPManager;
class TDSPManagerFr;
class TPlayerIni;
class TSystemIni;

class TMicDSPFrm : public QDialog
{
  Q_OBJECT

public:
  // APlayerIni holds the chain and is saved on close; ASystemIni gives the screen-reader
  // switches. Both default to the program's instances and must outlive the window.
  explicit TMicDSPFrm(QWidget* AParent = nullptr, TPlayerIni* APlayerIni = nullptr,
                      TSystemIni* ASystemIni = nullptr);
  // Detaches the manager from the editor, then frees both. Running stages keep running.
  ~TMicDSPFrm() override;

  // Closes the window (OK, Escape or the title bar) and saves player.ini, with the current
  // parameters of the running VST stages.
  void done(int AResult) override;
  // Takes the running VST stages' parameters and saves player.ini if it differs from what was
  // last saved. Runs when the application is about to quit, and when an equalizer, compressor or
  // gain window closes while this window is hidden.
  void SaveIfChanged();

  QWidget* Panel1;
  QPushButton* Button1;
  TDSPManager* DSPManager() const { return FDSPManager.get(); }
  TDSPManagerFr* DSPManagerFr() const { return FDSPManagerFr; }

  // Live sound: "Monitor" (off at start) runs the chain on the microphone (system.ini's first
  // input, or the server's default source) while the window is open; the meters show the sound
  // before and after the chain; "Listen" plays the processed sound to the default output. Closing
  // the window stops both. Without a sound server or microphone AudioStatus says why.
  QCheckBox* MonitorCheck;
  QCheckBox* ListenCheck;
  TLevelMeterWidget* InMeter;
  TLevelMeterWidget* OutMeter;
  QLabel* AudioStatus;
  // The recording channel while monitoring, else 0.
  HRECORD Capture() const { return FCapture; }
  HSTREAM ListenStream() const { return FOutput.load(); }

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void FormCreate();
  void FormShow();
  void FormClose();
  void SetMonitor(bool AOn);
  void SetListen(bool AOn);
  void ShowAudioStatus();
  static BOOL OnRecord(HRECORD AHandle, const void* ABuffer, DWORD ALength, void* AUser);

  TPlayerIni* FPlayerIni;
  TSystemIni* FSystemIni;
  std::unique_ptr<TDSPManager> FDSPManager;
  TDSPManagerFr* FDSPManagerFr = nullptr;
  // The player settings as last saved (or read).
  QByteArray FSavedText;
  std::unique_ptr<vexmo::audio::TLevelMeter> FInLevel;
  std::unique_ptr<vexmo::audio::TLevelMeter> FOutLevel;
  HRECORD FCapture = 0;
  std::atomic<HSTREAM> FOutput{0}; // read on the audio thread
  QTimer FStatusTimer;
};
