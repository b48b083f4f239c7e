// The main window: the station's playlist, refreshed every five seconds with the entry on air in
// bold, and the commands on it (record, upload a voice track, delete, move by dragging), the
// microphone DSP window and the settings dialog.
//
// All station traffic goes through request workers (TAPI); the window starts them and reacts in
// their callbacks, which run on the UI thread.
#pragma once

#include "api/playlist_item.h"
#include "app/playlist_model.h"

#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QProgressBar;
class QShortcut;
class QTimer;
class QToolButton;
class TAPI;
class TKelPosSave;
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
  QLabel* StaleLabel;         // beside it while the list shown is not current
  QProgressBar* UploadStatus; // beside it while a voice track is sent
  QTimer* tmrMain;
  TKelPosSave* KelPosSave1;

  // The timer's work: a playlist request, then a playing-position request, each unless one of
  // its kind is still in flight.
  void tmrMainTimer();
  void RefreshPlaylist();
  void RefreshPlaybackInfo();
  // Puts the list into the grid's rows. The selection, the focus row and the entry on top of
  // the view follow their entries (see ShowList), whatever the count.
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
  // Alt+Up / Alt+Down: the topmost selected entry one place up (-1) or down (+1).
  void MoveSelected(int AStep);
  // The context menu of a row (made for the row the menu was asked on; the caller shows it).
  QMenu* CreateRowMenu(int ARow);

  // Worker callbacks.
  void OnPlaylistReady(TAPI* ASender);
  void OnPlaybackInfoReady(TAPI* ASender);
  void OnEditReady(TAPI* ASender);

  // The outcome of a playlist request as the callback applies it (also for measuring the grid).
  void ApplyPlaylist(bool ASuccess, std::unique_ptr<TPlaylist> AList, const QString& AError);
  // Uploads a voice track to take the 1-based position APos (no look-up: the position is
  // sent as it is). ADoneText goes to the status bar when the station has taken it. The worker,
  // or nullptr when nothing was sent.
  TAPI* StartUpload(int APos, const QString& AFileName, const QString& ADoneText = {});
  // The outcome of an upload for whoever handed the file over: success, or the reason.
  using TEditReply = std::function<void(bool, const QString&)>;
  // Uploads the FLAC file AFileName to play right after the (topmost) selected entry: the entry
  // is taken now, found afresh on the station, and the track goes right after it. The Insert
  // button calls this once its file is chosen, the recorder's hand-over with ADone, which gets
  // the outcome once.
  void InsertVoiceTrackFile(const QString& AFileName, TEditReply ADone = {});

  const TPlaylist* Playlist() const { return FPlaylist.get(); }
  TPlaybackInfo PlaybackInfo() const { return FPlaybackInfo; }
  bool UpdatingPlaylist() const { return FUpdatingPlaylist; }
  bool UpdatingPlaybackInfo() const { return FUpdatingPlaybackInfo; }
  TPlaylistModel* Model() const { return FModel; }
  QDialog* MicDSPWindow() const { return FMicDSPFrm; }

  // The time the list shown was fetched (invalid before the first one).
  QDateTime FetchedAt() const { return FFetchedAt; }
  // Every shortcut of the window, for tests: none repeats while its key is held.
  QList<QShortcut*> Shortcuts() const { return FShortcuts; }

  // FormShow runs the first time the window is made visible, before it appears.
  void setVisible(bool AVisible) override;

Q_SIGNALS:
  // The window was closed and its settings saved; the program ends.
  void Closed();

protected:
  void closeEvent(QCloseEvent* AEvent) override;

private:
  // An edit as the presenter aimed it: at entries, not rows. It is sent only after the playlist
  // has been fetched afresh and the entries found in it.
  struct TEdit
  {
    enum TKind
    {
      ekDelete,
      ekMove,   // Entry onto Target (a drop)
      ekMoveBy, // Entry Step places
      ekUpload  // FileName right after Entry
    } Kind = ekDelete;
    TEntryRef Entry;
    TEntryRef Target;
    int Step = 0;
    QString FileName;
    TEditReply Reply; // an upload handed over: told the outcome
  };
  // What the view showed, by entry, before the list changes.
  struct TViewMemory
  {
    QList<TEntryRef> Selected;
    TEntryRef Current;
    QList<TEntryRef> Visible; // from the top of the view down
    int ScrollValue = 0;
  };

  void CreateControls();
  QShortcut* AddShortcut(const QKeySequence& AKey, void (TMainFrm::*AMethod)());
  QToolButton* CreateButton(const QString& AName, const QString& AImage, const QString& AHint,
                            const QString& AAccessibleName);
  // FormShow, on the first showing.
  void FormShow();
  void FormClose();
  void OnUploadProgress(qint64 ASent, qint64 ATotal);
  void UploadFinished();

  // The list of fetch ASeq (fetches are numbered as they start) becomes the one shown, unless a
  // later fetch has been shown already. Returns whether it was.
  bool ShowList(std::unique_ptr<TPlaylist> AList, quint64 ASeq);
  TViewMemory RememberView() const;
  void RestoreView(const TViewMemory& AMemory);
  void RefreshFailed(const QString& APlain, const QString& ATechnical);
  // A failure in plain words: unreachable station, refused credentials, the station's answer.
  // ARefresh: the refresh's words, which say that it goes on trying.
  QString DescribeFailure(const TAPI* ASender, bool ARefresh) const;
  enum TStatusKind
  {
    skNone,
    skRefresh, // a refresh failure: the next good refresh clears it
    skEdit     // what an edit did: stays until the next message
  };
  void ShowStatus(const QString& AText, const QString& AToolTip, TStatusKind AKind);

  void BeginEdit(const TEdit& AEdit);
  void EditListReady(TAPI* ASender, const TEdit& AEdit, quint64 ASeq);
  void SendEdit(const TEdit& AEdit, const TPlaylist& AList);
  void EditDone(TAPI* ASender, const QString& ADoneText);
  static QString NothingDone(const TEdit& AEdit);

  std::unique_ptr<TPlaylist> FPlaylist;
  bool FUpdatingPlaylist = false;
  TPlaybackInfo FPlaybackInfo;
  bool FUpdatingPlaybackInfo = false;

  TPlaylistModel* FModel;
  QPointer<QDialog> FMicDSPFrm;
  bool FShown = false;
  bool FDestroying = false;
  int FUploadsInFlight = 0;
  quint64 FFetchSeq = 0;   // the number of the last fetch started
  quint64 FRefreshSeq = 0; // the number of the periodic fetch in flight
  quint64 FShownSeq = 0;   // the number of the fetch whose list is shown
  QDateTime FFetchedAt;
  TStatusKind FStatusKind = skNone;
  QList<QShortcut*> FShortcuts;
  QHash<TAPI*, TEditReply> FTakeReplies;
};
