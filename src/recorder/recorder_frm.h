// quillon's window: the microphone and its chain, live meters, the record
// button, the take's waveform with trim handles, playback, trim silence,
// normalise, redo and "Use take".
//
// The window only wires things together: the take session (take_session.h) says
// what may happen, the capture engine records, the waveform view draws, the
// take edit functions compute.
#pragma once

#include "base/localisation.h"
#include "recorder/capture_engine.h"
#include "recorder/take_edit.h"
#include "recorder/take_session.h"
#include "recorder/wave_overview.h"

#include "audio/bass.h"

#include <QByteArray>
#include <QMainWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QTimer;
class TKelPosSave;
class TLevelMeterWidget;
class TMicDSPFrm;
class TWaveformView;

class TRecorderFrm : public QMainWindow
{
  Q_OBJECT

public:
  // With AHandOver (started as "quillon -vexmo") "Use take" hands the written
  // file to it and shows the answer; AHandOver calls its second argument once
  // with the outcome.
  using THandOver =
      std::function<void(const QString& AFile, std::function<void(bool, const QString&)> ADone)>;
  explicit TRecorderFrm(THandOver AHandOver = {}, QWidget* AParent = nullptr);
  ~TRecorderFrm() override;

  // Opens the microphone and offers back a take left from an earlier run.
  // Called once shown.
  void Start();

  TTakeState State() const { return FSession.State(); }
  const TTakeEdit& Edit() const { return FEdit; }
  const TTakeAudio& Take() const { return FTake; }
  QString TakeFile() const { return FTakePath; }
  // The last FLAC written by "Use take".
  QString UsedFile() const { return FUsedFile; }
  TCaptureEngine& Engine() { return FEngine; }

  // The commands, as the buttons and keys run them.
  void RecordOrStop();
  void PlayOrStop();
  void TrimSilenceClick();
  void NormaliseClick();
  void RedoClick();
  void UseTakeClick();
  void DSPClick();

  QLabel* lbMicrophone;
  QLabel* lbChain;
  QLabel* lbStatus;
  QLabel* lbTake;
  TLevelMeterWidget* Meter;
  QPushButton* btRecord;
  QCheckBox* chListen;
  QPushButton* btDSP;
  TWaveformView* Wave;
  QPushButton* btPlay;
  QPushButton* btTrim;
  QPushButton* btNormalise;
  QPushButton* btRedo;
  QPushButton* btUse;

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;

private:
  void OpenMicrophone();
  void OfferUnfinishedTake();
  void StopRecording(const QString& AWhy = {});
  bool LoadTake(const QString& APath);
  void DiscardTake();
  void StopPlayback();
  void UpdateControls();
  void UpdateTakeInfo();
  void UpdateChainLabel();
  void Tick();
  void PlayerIniChanged();
  void SetStatus(const QString& AText);
  // A caption that changes while the window is open, in the chosen language.
  QString Tr(const QString& AText) const;
  static DWORD PlayProc(HSTREAM AHandle, void* ABuffer, DWORD ALength, void* AUser);

  THandOver FHandOver;
  TTakeSession FSession;
  TCaptureEngine FEngine;
  TMicrophone FMic;
  TMicDSPFrm* FMicDSPFrm = nullptr;
  TKelPosSave* FPosSave = nullptr;
  QTimer* FTimer = nullptr;
  QFileSystemWatcher* FWatcher = nullptr;
  QByteArray FPlayerIniSeen; // player.ini as last read or written here
  bool FStarted = false;
  TFormTranslation FTranslation;

  QString FTakePath;
  TTakeAudio FTake;
  TWaveOverview FOverview; // of a loaded take (while recording the writer's is shown)
  TTakeEdit FEdit;
  TTakeLevels FLevels;
  QString FNormaliseNote;
  QString FUsedFile;

  HSTREAM FPlayStream = 0;
  std::vector<float> FPlayBuffer;
  int64_t FPlayFrom = 0;            // take frame of FPlayBuffer[0]
  std::atomic<int64_t> FPlayPos{0}; // frames of FPlayBuffer handed to the stream
};
