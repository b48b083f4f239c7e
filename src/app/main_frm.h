// The main window: the station's playlist, refreshed every five seconds with the entry on air in
// bold, and the commands on it (record, upload a voice track, delete, move by dragging), the
// microphone DSP window and the settings dialog.
//
// All station traffic goes through request workers (TAPI); the window starts them and reacts in
// their callbacks, which run on the UI thread.
#pragma once

#include "api/playlist_item.h"

#include <QDialog>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;
class TAPI;
class TKelPosSave;
class TPlaylistModel;
class TVirtualTreePlaylist;

class TMainFrm : public QMainWindow
{
  Q_OBJECT

public:
  // FormCreate: reads settings.ini and player.ini, sets up the plug-in layer, starts the timer.
  explicit TMainFrm(QWidget* AParent = nullptr);
  // FormDestroy: frees the list, then saves settings.ini (with the column layout).
  ~TMainFrm() override;

  // Controls, named as the window's designer named them.
  QWidget* FlowPanel1;
  QToolButton* btRecord;
  QToolButton* btInsert;
  QToolButton* btDelete;
  QToolButton* btDSP;
  QToolButton* btSettings;
  TVirtualTreePlaylist* lvPlaylist;
  QLabel* StatusPanel;        // the status bar's one panel
  QProgressBar* UploadStatus; // beside it while a voice track is sent
  QTimer* tmrMain;
  TKelPosSave* KelPosSave1;

  // The timer's work: a playlist request, then a playing-position request, each unless one of
  // its kind is still in flight.
  void tmrMainTimer();
  void RefreshPlaylist();
  void RefreshPlaybackInfo();
  // Puts the list into the grid: the same number of rows keeps rows, selection and scroll
  // position; another number rebuilds the rows and keeps the scroll position.
  void UpdatePlaylistView();

  void btRecordClick();
  void btInsertClick();
  void btDeleteClick();
  void btDSPClick();
  void btSettingsClick();
  // A drop is accepted only while exactly one row is selected.
  bool lvPlaylistDragOver() const;
  // The first selected row was dropped onto row ATargetRow (-1: not on a row).
  void lvPlaylistDragDrop(int ATargetRow);

  // Worker callbacks.
  void OnPlaylistReady(TAPI* ASender);
  void OnPlaybackInfoReady(TAPI* ASender);
  void OnEditReady(TAPI* ASender);

  // The outcome of a playlist request as the callback applies it (also for measuring the grid).
  void ApplyPlaylist(bool ASuccess, std::unique_ptr<TPlaylist> AList, const QString& AError);
  // Uploads a voice track to take the 1-based position APos. The worker, or nullptr when
  // nothing was sent.
  TAPI* StartUpload(int APos, const QString& AFileName);
  // A take handed over by the recorder: uploaded after the selected entry as Insert does (same
  // boxes); ADone gets the outcome.
  void InsertVoiceTrackFile(const QString& AFileName,
                            std::function<void(bool, const QString&)> ADone);

  const TPlaylist* Playlist() const { return FPlaylist.get(); }
  TPlaybackInfo PlaybackInfo() const { return FPlaybackInfo; }
  bool UpdatingPlaylist() const { return FUpdatingPlaylist; }
  bool UpdatingPlaybackInfo() const { return FUpdatingPlaybackInfo; }
  TPlaylistModel* Model() const { return FModel; }
  QDialog* MicDSPWindow() const { return FMicDSPFrm; }

  // FormShow runs the first time the window is made visible, before it appears.
  void setVisible(bool AVisible) override;

Q_SIGNALS:
  // The window was closed and its settings saved; the program ends.
  void Closed();

protected:
  void closeEvent(QCloseEvent* AEvent) override;

private:
  void CreateControls();
  QToolButton* CreateButton(const QString& AName, const QString& AImage, const QString& AHint,
                            const QString& AAccessibleName);
  // FormShow, on the first showing.
  void FormShow();
  void FormClose();
  void OnUploadProgress(qint64 ASent, qint64 ATotal);
  void UploadFinished();

  std::unique_ptr<TPlaylist> FPlaylist;
  bool FUpdatingPlaylist = false;
  TPlaybackInfo FPlaybackInfo;
  bool FUpdatingPlaybackInfo = false;

  TPlaylistModel* FModel;
  QPointer<QDialog> FMicDSPFrm;
  bool FShown = false;
  bool FDestroying = false;
  int FUploadsInFlight = 0;
  QHash<TAPI*, std::function<void(bool, const QString&)>> FTakeReplies;
};
