#include "app/main_frm.h"

#include "api/request_worker.h"
#include "api/upload_form.h"
#include "app/app_hooks.h"
#include "app/column_layout.h"
#include "app/kel_pos_save.h"
#include "app/playlist_model.h"
#include "app/playlist_view.h"
#include "app/take_handover.h"
#include "base/data_folders.h"
#include "base/message_box.h"
#include "base/utils.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "settings_ui/settings_frm.h"
#include "ui_common/common_images.h"
#include "ui_common/file_dialogs.h"
#include "ui_common/screen_utils.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString CErrorCaption = QStringLiteral("Error");

} // namespace

TMainFrm::TMainFrm(QWidget* AParent) : QMainWindow(AParent), FModel(new TPlaylistModel(this))
{
  SetDpiMainWindow(this);
  setObjectName(QStringLiteral("MainFrm"));
  setWindowTitle(QStringLiteral("Vexmo"));
  CreateControls();
  KelPosSave1 = new TKelPosSave(this);
  // Where the system places new windows, at the designed size.
  resize(ScaleForDpi(624), ScaleForDpi(435));

  // FormCreate.
  if (Settings)
    Settings->Read();
  if (PlayerIni)
    PlayerIni->Read();
  RunPluginSetupHook(this);

  tmrMain = new QTimer(this);
  tmrMain->setObjectName(QStringLiteral("tmrMain"));
  tmrMain->setInterval(5000);
  connect(tmrMain, &QTimer::timeout, this, &TMainFrm::tmrMainTimer);
  tmrMain->start();
}

TMainFrm::~TMainFrm()
{
  // FormDestroy. A failed save shows a box, whose event loop could deliver a callback: from now
  // on callbacks find the window going.
  FDestroying = true;
  tmrMain->stop();
  FModel->SetList(nullptr);
  FPlaylist.reset();
  if (Settings)
    Settings->Save();
}

QShortcut* TMainFrm::AddShortcut(const QKeySequence& AKey, void (TMainFrm::*AMethod)())
{
  auto* Shortcut = new QShortcut(AKey, this);
  Shortcut->setAutoRepeat(false);
  if (AMethod)
    connect(Shortcut, &QShortcut::activated, this, AMethod);
  FShortcuts << Shortcut;
  return Shortcut;
}

QToolButton* TMainFrm::CreateButton(const QString& AName, const QString& AImage,
                                    const QString& AHint, const QString& AAccessibleName)
{
  auto* Button = new QToolButton(FlowPanel1);
  Button->setObjectName(AName);
  Button->setIcon(CommonImage(AImage));
  Button->setIconSize(QSize(ScaleForDpi(30), ScaleForDpi(30)));
  Button->setFixedSize(ScaleForDpi(40), ScaleForDpi(38));
  Button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  Button->setToolTip(AHint);
  Button->setAccessibleName(AAccessibleName);
  return Button;
}

void TMainFrm::CreateControls()
{
  auto* Central = new QWidget(this);
  auto* Column = new QVBoxLayout(Central);
  Column->setContentsMargins(0, 0, 0, 0);
  Column->setSpacing(0);

  // The tool bar: three groups of buttons, 3 pixels around each and 6 before a new group.
  FlowPanel1 = new QWidget(Central);
  FlowPanel1->setObjectName(QStringLiteral("FlowPanel1"));
  auto* Row = new QHBoxLayout(FlowPanel1);
  Row->setContentsMargins(0, ScaleForDpi(3), 0, ScaleForDpi(3));
  Row->setSpacing(0);
  const auto Hint = [](const QString& AText, const QKeySequence& AKey) {
    return QStringLiteral("%1 (%2)").arg(AText, AKey.toString(QKeySequence::NativeText));
  };
  const QKeySequence RecordKey(Qt::CTRL | Qt::Key_R);
  const QKeySequence InsertKey(Qt::Key_Insert);
  const QKeySequence DeleteKey(Qt::Key_Delete);
  const QKeySequence DSPKey(Qt::CTRL | Qt::Key_D);
  const QKeySequence SettingsKey(Qt::CTRL | Qt::Key_Comma);
  btRecord = CreateButton(QStringLiteral("btRecord"), QStringLiteral("record broadcast "),
                          Hint(QStringLiteral("Record voice track"), RecordKey),
                          QStringLiteral("Record voice track"));
  btInsert = CreateButton(QStringLiteral("btInsert"), QStringLiteral("insert"),
                          Hint(QStringLiteral("Insert voice track"), InsertKey),
                          QStringLiteral("Insert voice track"));
  btDelete =
      CreateButton(QStringLiteral("btDelete"), QStringLiteral("Delete"),
                   Hint(QStringLiteral("Delete track"), DeleteKey), QStringLiteral("Delete track"));
  btDSP = CreateButton(QStringLiteral("btDSP"), QStringLiteral("FX"),
                       Hint(QStringLiteral("Microphone DSP chain"), DSPKey),
                       QStringLiteral("Microphone DSP"));
  btSettings =
      CreateButton(QStringLiteral("btSettings"), QStringLiteral("settings"),
                   Hint(QStringLiteral("Settings"), SettingsKey), QStringLiteral("Settings"));
  const struct
  {
    QToolButton* Button;
    int LeftMargin;
  } Buttons[] = {{btRecord, 3}, {btInsert, 3}, {btDelete, 6}, {btDSP, 6}, {btSettings, 3}};
  for (const auto& Item : Buttons) {
    Row->addSpacing(ScaleForDpi(Item.LeftMargin));
    Row->addWidget(Item.Button);
  }
  Row->addStretch(1);
  Column->addWidget(FlowPanel1);

  // Shortcuts of the window rather than of the buttons, none of them repeating: a held key is
  // one edit, not one every 100 ms.
  AddShortcut(RecordKey, &TMainFrm::btRecordClick);
  AddShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), &TMainFrm::btInsertClick);
  AddShortcut(InsertKey, &TMainFrm::btInsertClick);
  AddShortcut(DeleteKey, &TMainFrm::btDeleteClick);
  AddShortcut(DSPKey, &TMainFrm::btDSPClick);
  AddShortcut(SettingsKey, &TMainFrm::btSettingsClick);
  connect(AddShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), nullptr), &QShortcut::activated, this,
          [this] { MoveSelected(-1); });
  connect(AddShortcut(QKeySequence(Qt::ALT | Qt::Key_Down), nullptr), &QShortcut::activated, this,
          [this] { MoveSelected(1); });

  connect(btRecord, &QToolButton::clicked, this, &TMainFrm::btRecordClick);
  connect(btInsert, &QToolButton::clicked, this, &TMainFrm::btInsertClick);
  connect(btDelete, &QToolButton::clicked, this, &TMainFrm::btDeleteClick);
  connect(btDSP, &QToolButton::clicked, this, &TMainFrm::btDSPClick);
  connect(btSettings, &QToolButton::clicked, this, &TMainFrm::btSettingsClick);

  auto* GridArea = new QVBoxLayout;
  const int Margin = ScaleForDpi(8);
  GridArea->setContentsMargins(Margin, Margin, Margin, Margin);
  lvPlaylist = new TVirtualTreePlaylist(Central);
  lvPlaylist->setObjectName(QStringLiteral("lvPlaylist"));
  lvPlaylist->setAccessibleName(QStringLiteral("Playlist"));
  lvPlaylist->SetPlaylistModel(FModel);
  QHeaderView* Header = lvPlaylist->header();
  Header->setMinimumHeight(ScaleForDpi(25));
  SetUpPlaylistColumns(lvPlaylist);
  // The title column leads until the stored layout says otherwise.
  lvPlaylist->setTreePosition(TPlaylistModel::colStartTime);
  lvPlaylist->OnDragOver = [this] { return lvPlaylistDragOver(); };
  lvPlaylist->OnDragDrop = [this](int ATargetRow) { lvPlaylistDragDrop(ATargetRow); };
  lvPlaylist->OnRowMenu = [this](int ARow, const QPoint& AGlobalPos) {
    QMenu* Menu = CreateRowMenu(ARow);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    Menu->popup(AGlobalPos);
  };
  GridArea->addWidget(lvPlaylist);
  Column->addLayout(GridArea, 1);
  setCentralWidget(Central);

  StatusPanel = new QLabel(this);
  StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
  StatusPanel->setAccessibleName(QStringLiteral("Status"));
  StatusPanel->setTextFormat(Qt::PlainText);
  // A long error text must not widen the window; the whole text is in the tool tip.
  StatusPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusBar()->addWidget(StatusPanel, 1);
  StaleLabel = new QLabel(this);
  StaleLabel->setObjectName(QStringLiteral("StaleLabel"));
  StaleLabel->setTextFormat(Qt::PlainText);
  StaleLabel->setAccessibleName(QStringLiteral("Playlist not current"));
  StaleLabel->hide();
  statusBar()->addPermanentWidget(StaleLabel);
  UploadStatus = new QProgressBar(this);
  UploadStatus->setObjectName(QStringLiteral("UploadStatus"));
  UploadStatus->setAccessibleName(QStringLiteral("Voice track upload"));
  UploadStatus->setToolTip(QStringLiteral("Sending the voice track"));
  UploadStatus->setMaximumWidth(ScaleForDpi(160));
  UploadStatus->setMaximumHeight(ScaleForDpi(16));
  UploadStatus->hide();
  statusBar()->addPermanentWidget(UploadStatus);

  setTabOrder(btRecord, btInsert);
  setTabOrder(btInsert, btDelete);
  setTabOrder(btDelete, btSettings);
  setTabOrder(btSettings, btDSP);
  setTabOrder(btDSP, lvPlaylist);
}

void TMainFrm::setVisible(bool AVisible)
{
  // Placement and layout are restored before the window first appears, so that it opens where
  // it stood, not where the system put it a moment before.
  if (AVisible && !FShown) {
    FShown = true;
    FormShow();
  }
  QMainWindow::setVisible(AVisible);
  if (AVisible)
    lvPlaylist->setFocus();
}

void TMainFrm::FormShow()
{
  KelPosSave1->SetIniFileName(DataFolder() + QStringLiteral("windowpos.ini"));
  KelPosSave1->RestorePos();
  CenterIfOffScreen(this);
  lvPlaylist->Delegate()->SetRowHeight(QFontMetrics(lvPlaylist->font()).height() + ScaleForDpi(8));
  if (Settings)
    RestoreColumnLayout(lvPlaylist, Settings->PlaylistCols());
  RefreshPlaylist();
  if (!FMicDSPFrm)
    FMicDSPFrm = CreateMicDSPWindow(this);
  StartTakeHandover(this);
  FPlaybackInfo.Reset();
  FModel->SetPlayingPos(FPlaybackInfo.PlaylistPos);
}

void TMainFrm::closeEvent(QCloseEvent* AEvent)
{
  FormClose();
  AEvent->accept();
  Q_EMIT Closed();
}

void TMainFrm::FormClose()
{
  if (SystemIni)
    SystemIni->Save();
  KelPosSave1->SavePos();
  if (Settings)
    SaveColumnLayout(lvPlaylist->header(), Settings->PlaylistCols());
}

void TMainFrm::tmrMainTimer()
{
  RefreshPlaylist();
  RefreshPlaybackInfo();
}

void TMainFrm::RefreshPlaylist()
{
  if (FUpdatingPlaylist)
    return;
  FUpdatingPlaylist = true;
  FRefreshSeq = ++FFetchSeq;
  (new TAPI(this, &TMainFrm::OnPlaylistReady))->GetPlaylistContents();
}

void TMainFrm::RefreshPlaybackInfo()
{
  if (FUpdatingPlaybackInfo)
    return;
  FUpdatingPlaybackInfo = true;
  (new TAPI(this, &TMainFrm::OnPlaybackInfoReady))->GetPlaybackInfo();
}

void TMainFrm::OnPlaylistReady(TAPI* ASender)
{
  if (FDestroying)
    return;
  if (ASender->Success()) {
    ApplyPlaylist(true, ASender->TakePlaylist(), QString());
  } else {
    FUpdatingPlaylist = false;
    RefreshFailed(DescribeFailure(ASender, true), ASender->Error());
  }
}

void TMainFrm::ApplyPlaylist(bool ASuccess, std::unique_ptr<TPlaylist> AList, const QString& AError)
{
  FUpdatingPlaylist = false;
  if (ASuccess) {
    if (!FRefreshSeq)
      FRefreshSeq = ++FFetchSeq; // called from outside a refresh
    ShowList(AList ? std::move(AList) : std::make_unique<TPlaylist>(), FRefreshSeq);
    FRefreshSeq = 0;
  } else {
    RefreshFailed(AError.simplified(), AError);
  }
}

bool TMainFrm::ShowList(std::unique_ptr<TPlaylist> AList, quint64 ASeq)
{
  // A fetch that started before the one shown brings an older log: it is not shown.
  if (ASeq <= FShownSeq)
    return false;
  FShownSeq = ASeq;
  const TViewMemory Memory = RememberView();
  FPlaylist = std::move(AList);
  FModel->SetList(FPlaylist.get());
  UpdatePlaylistView();
  RestoreView(Memory);
  FFetchedAt = QDateTime::currentDateTime();
  FModel->SetStale(false);
  StaleLabel->hide();
  if (FStatusKind == skRefresh)
    ShowStatus(QString(), QString(), skNone);
  return true;
}

void TMainFrm::UpdatePlaylistView()
{
  const int Count = FPlaylist ? int(FPlaylist->size()) : 0;
  lvPlaylist->setUpdatesEnabled(false);
  if (FModel->rowCount() == Count) {
    FModel->RepointRows();
  } else {
    QScrollBar* Bar = lvPlaylist->verticalScrollBar();
    const int Offset = Bar->value();
    FModel->RebuildRows();
    // Lays the new rows out now, so that the scroll bar knows its range again.
    lvPlaylist->doItemsLayout();
    Bar->setValue(Offset);
  }
  lvPlaylist->setUpdatesEnabled(true);
  lvPlaylist->viewport()->update();
}

TMainFrm::TViewMemory TMainFrm::RememberView() const
{
  TViewMemory Memory;
  for (int Row : lvPlaylist->SelectedRows())
    Memory.Selected << FModel->RefAt(Row);
  Memory.Current = FModel->RefAt(lvPlaylist->currentIndex().row());
  Memory.ScrollValue = lvPlaylist->verticalScrollBar()->value();
  const int Top = lvPlaylist->indexAt(QPoint(0, 0)).row();
  if (Top >= 0) {
    // The entry on top, and those below it in case it has gone.
    const int RowHeight = qMax(1, lvPlaylist->visualRect(FModel->index(Top, 0)).height());
    const int Shown = lvPlaylist->viewport()->height() / RowHeight + 1;
    for (int Row = Top; Row < FModel->rowCount() && Row <= Top + Shown; ++Row)
      Memory.Visible << FModel->RefAt(Row);
  }
  return Memory;
}

void TMainFrm::RestoreView(const TViewMemory& AMemory)
{
  if (!FPlaylist)
    return;
  const int LastColumn = TPlaylistModel::ColumnCount - 1;
  // Selected entries stay selected where they are now; those that left the log, or can no
  // longer be told apart from an equal one, are no longer selected.
  QItemSelection Selection;
  for (const TEntryRef& Ref : AMemory.Selected) {
    const int Row = FindEntry(*FPlaylist, Ref);
    if (Row >= 0)
      Selection.select(FModel->index(Row, 0), FModel->index(Row, LastColumn));
  }
  QItemSelectionModel* Selected = lvPlaylist->selectionModel();
  const int Current = FindEntry(*FPlaylist, AMemory.Current);
  if (Current >= 0)
    Selected->setCurrentIndex(FModel->index(Current, 0), QItemSelectionModel::NoUpdate);
  else
    Selected->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  Selected->select(Selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

  // The entry that was on top of the view stays on top (or the next one still there).
  for (const TEntryRef& Ref : AMemory.Visible) {
    const int Row = FindEntry(*FPlaylist, Ref);
    if (Row >= 0) {
      // Only up and down: the view is left where the user scrolled it sideways.
      QScrollBar* Across = lvPlaylist->horizontalScrollBar();
      const int Sideways = Across->value();
      lvPlaylist->scrollTo(FModel->index(Row, 0), QAbstractItemView::PositionAtTop);
      Across->setValue(Sideways);
      return;
    }
  }
  lvPlaylist->verticalScrollBar()->setValue(AMemory.ScrollValue);
}

void TMainFrm::RefreshFailed(const QString& APlain, const QString& ATechnical)
{
  // The words may be cut off in a narrow window: the tool tip has them whole, and the
  // technical text under them.
  ShowStatus(APlain, APlain == ATechnical ? APlain : APlain + QStringLiteral("\n\n") + ATechnical,
             skRefresh);
  // The last list stays, greyed, with the time it was fetched.
  if (FPlaylist && FFetchedAt.isValid()) {
    FModel->SetStale(true);
    StaleLabel->setText(
        QStringLiteral("Playlist as of %1")
            .arg(QLocale().toString(FFetchedAt.time(), QStringLiteral("HH:mm:ss"))));
    StaleLabel->setToolTip(QStringLiteral("The playlist shown is not current: it was fetched at %1")
                               .arg(QLocale().toString(FFetchedAt, QLocale::LongFormat)));
    StaleLabel->show();
  }
}

QString TMainFrm::DescribeFailure(const TAPI* ASender, bool ARefresh) const
{
  if (ASender->IsNotConfigured())
    return ASender->Error();
  const long Status = ASender->HttpStatus();
  if (Status == 401 || Status == 403)
    return QStringLiteral("The station refused the user name or password");
  if (Status != 0)
    return ASender->Error().simplified();
  QString Host;
  int Port = 0;
  if (Settings) {
    Settings->Lock();
    Host = Settings->Server();
    Port = Settings->Port();
    Settings->Unlock();
  }
  const QString Address = QStringLiteral("%1:%2").arg(Host).arg(Port);
  // Refreshes go on by themselves; an edit is not tried again.
  const QString Again =
      ARefresh ? QStringLiteral("; trying again every %1 s").arg(tmrMain->interval() / 1000)
               : QString();
  switch (ASender->NetworkFailure()) {
  case nfRefused:
    return QStringLiteral("Station not reachable at %1 (connection refused)").arg(Address) + Again;
  case nfHostNotFound:
    return QStringLiteral("Station not reachable: no computer named %1 was found").arg(Host) +
           Again;
  case nfTimeout:
    return QStringLiteral("Station not reachable at %1 (no answer)").arg(Address) + Again;
  case nfTls:
    return QStringLiteral("No secure connection to the station at %1 (TLS or certificate)")
               .arg(Address) +
           Again;
  default:
    return QStringLiteral("Station not reachable at %1").arg(Address) + Again;
  }
}

void TMainFrm::ShowStatus(const QString& AText, const QString& AToolTip, TStatusKind AKind)
{
  StatusPanel->setText(AText);
  StatusPanel->setToolTip(AToolTip);
  FStatusKind = AKind;
}

void TMainFrm::OnPlaybackInfoReady(TAPI* ASender)
{
  if (FDestroying)
    return;
  FUpdatingPlaybackInfo = false;
  if (ASender->Success())
    FPlaybackInfo = ASender->PlaybackInfo();
  else
    FPlaybackInfo.Reset();
  FModel->SetPlayingPos(FPlaybackInfo.PlaylistPos);
}

void TMainFrm::OnEditReady(TAPI* ASender)
{
  EditDone(ASender, QString());
}

void TMainFrm::EditDone(TAPI* ASender, const QString& ADoneText)
{
  if (FDestroying)
    return;
  if (ASender->IsUpload())
    UploadFinished();
  if (auto Reply = FTakeReplies.take(ASender))
    Reply(ASender->Success(), ASender->Success() ? QString() : ASender->Error());
  if (ASender->Success()) {
    if (!ADoneText.isEmpty())
      ShowStatus(ADoneText, QString(), skEdit);
    RefreshPlaylist();
  } else {
    MyMessageBox(ASender->Error(), CErrorCaption, MB_ICONERROR);
  }
}

namespace {

QString Quoted(const QString& ATitle)
{
  return QLatin1Char('\'') + ATitle + QLatin1Char('\'');
}

} // namespace

void TMainFrm::BeginEdit(const TEdit& AEdit)
{
  // The log may have moved since the presenter aimed: the entries are looked up in a fresh
  // copy of it, and their positions there are what is sent.
  const quint64 Seq = ++FFetchSeq;
  const QPointer<TMainFrm> Self(this);
  (new TAPI([Self, AEdit, Seq](TAPI* ASender) {
    if (Self && !Self->FDestroying)
      Self->EditListReady(ASender, AEdit, Seq);
  }))->GetPlaylistContents();
}

QString TMainFrm::NothingDone(const TEdit& AEdit)
{
  switch (AEdit.Kind) {
  case TEdit::ekDelete:
    return QStringLiteral("Nothing was deleted.");
  case TEdit::ekUpload:
    return QStringLiteral("The voice track was not sent.");
  default:
    return QStringLiteral("Nothing was moved.");
  }
}

void TMainFrm::EditListReady(TAPI* ASender, const TEdit& AEdit, quint64 ASeq)
{
  if (!ASender->Success()) {
    const QString Text =
        QStringLiteral("The playlist could not be fetched to find the entry. %1\n\n%2")
            .arg(NothingDone(AEdit), DescribeFailure(ASender, false));
    MyMessageBox(Text, CErrorCaption, MB_ICONERROR);
    if (AEdit.Reply)
      AEdit.Reply(false, Text);
    return;
  }
  std::unique_ptr<TPlaylist> List = ASender->TakePlaylist();
  if (!List)
    List = std::make_unique<TPlaylist>();
  // Sent before the grid changes, from the list as fetched; the grid then shows that list.
  SendEdit(AEdit, *List);
  ShowList(std::move(List), ASeq);
}

void TMainFrm::SendEdit(const TEdit& AEdit, const TPlaylist& AList)
{
  const auto Refuse = [&](const TEntryRef& ARef, TFindResult AResult) {
    const QString Why =
        AResult == frAmbiguous
            ? QStringLiteral("%1 is in the playlist more than once and can no longer be told "
                             "apart from the other.")
            : QStringLiteral("%1 is no longer in the playlist.");
    const QString Text = Why.arg(Quoted(ARef.Title)) + QLatin1Char(' ') + NothingDone(AEdit);
    ShowStatus(Text, QString(), skEdit);
    MyMessageBox(Text, CErrorCaption, MB_ICONWARNING);
    if (AEdit.Reply)
      AEdit.Reply(false, Text);
  };
  TFindResult Result;
  const int From = FindEntry(AList, AEdit.Entry, &Result);
  if (From < 0) {
    Refuse(AEdit.Entry, Result);
    return;
  }
  const QString Title = Quoted(AEdit.Entry.Title);
  switch (AEdit.Kind) {
  case TEdit::ekDelete: {
    const QString Done = QStringLiteral("Deleted %1").arg(Title);
    const QPointer<TMainFrm> Self(this);
    (new TAPI([Self, Done](TAPI* ASender) {
      if (Self)
        Self->EditDone(ASender, Done);
    }))->DeletePlaylistTrack(From);
    return;
  }
  case TEdit::ekMove:
  case TEdit::ekMoveBy: {
    int To = From + AEdit.Step;
    if (AEdit.Kind == TEdit::ekMove) {
      To = FindEntry(AList, AEdit.Target, &Result);
      if (To < 0) {
        Refuse(AEdit.Target, Result);
        return;
      }
    } else if (To < 0 || To >= int(AList.size())) {
      return; // already at the top or the bottom: nothing to do
    }
    const QString Done = QStringLiteral("Moved %1 to position %2").arg(Title).arg(To + 1);
    const QPointer<TMainFrm> Self(this);
    (new TAPI([Self, Done](TAPI* ASender) {
      if (Self)
        Self->EditDone(ASender, Done);
    }))->MovePlaylistTrack(From, To);
    return;
  }
  case TEdit::ekUpload: {
    TAPI* Worker = StartUpload(From + 2, AEdit.FileName,
                               QStringLiteral("Voice track %1 inserted after %2")
                                   .arg(Quoted(QFileInfo(AEdit.FileName).fileName()), Title));
    if (!AEdit.Reply)
      return;
    if (Worker)
      FTakeReplies.insert(Worker, AEdit.Reply);
    else
      AEdit.Reply(false, QStringLiteral("The file could not be sent."));
    return;
  }
  }
}

void TMainFrm::btRecordClick()
{
  // The recorder is a program of its own beside this one; it is started, not watched.
  const QString Folder = QDir::toNativeSeparators(QDir::cleanPath(ProgramFolder()));
  if (!QFileInfo(ProgramFolder() + QStringLiteral("quillon")).isFile()) {
    MyMessageBox(QStringLiteral("The recorder was not found in %1").arg(Folder), CErrorCaption,
                 MB_ICONWARNING);
    return;
  }
  QString Error;
  RunCommandLine(QLatin1Char('"') + ProgramFolder() + QStringLiteral("quillon\" -vexmo"), nullptr,
                 Error);
  if (!Error.isEmpty())
    MyMessageBox(QStringLiteral("The recorder could not be started: %1").arg(Error), CErrorCaption,
                 MB_ICONERROR);
}

void TMainFrm::btInsertClick()
{
  if (lvPlaylist->TopSelectedRow() < 0) {
    MyMessageBox(QStringLiteral("Plase select a track in the playlist"), CErrorCaption,
                 MB_ICONWARNING);
    return;
  }
  const QString Folder = PlayerIni ? ExpandDataPath(PlayerIni->VoiceTracksFolder()) : QString();
  const QPointer<TMainFrm> Self(this);
  const TEntryRef Pressed = FModel->RefAt(lvPlaylist->TopSelectedRow());
  // The entry is taken once the file is chosen: the selection follows its entry meanwhile. The
  // newest take is selected in the dialog: it is usually the one just recorded.
  SelectOpenFile(this, NewestVoiceTrack(Folder), QStringLiteral("FLAC (*.flac)"),
                 [Self, Pressed](const QString& AFileName) {
                   if (!Self || Self->FDestroying)
                     return;
                   if (Self->lvPlaylist->TopSelectedRow() < 0) {
                     // Its entry left the log while the dialog was open.
                     const QString Text =
                         QStringLiteral("%1 is no longer in the playlist. The voice track was not "
                                        "sent.")
                             .arg(Quoted(Pressed.Title));
                     Self->ShowStatus(Text, QString(), skEdit);
                     MyMessageBox(Text, CErrorCaption, MB_ICONWARNING);
                     return;
                   }
                   Self->InsertVoiceTrackFile(AFileName);
                 });
}

void TMainFrm::InsertVoiceTrackFile(const QString& AFileName, TEditReply ADone)
{
  const int Top = lvPlaylist->TopSelectedRow();
  if (Top < 0) {
    MyMessageBox(QStringLiteral("Plase select a track in the playlist"), CErrorCaption,
                 MB_ICONWARNING);
    if (ADone)
      ADone(false, QStringLiteral("No entry is selected in the playlist."));
    return;
  }
  TEdit Edit;
  Edit.Kind = TEdit::ekUpload;
  Edit.Entry = FModel->RefAt(Top);
  Edit.FileName = AFileName;
  Edit.Reply = std::move(ADone);
  BeginEdit(Edit);
}

TAPI* TMainFrm::StartUpload(int APos, const QString& AFileName, const QString& ADoneText)
{
  const QPointer<TMainFrm> Self(this);
  auto* Worker = new TAPI([Self, ADoneText](TAPI* ASender) {
    if (Self)
      Self->EditDone(ASender, ADoneText);
  });
  connect(Worker, &TAPI::UploadProgress, this, &TMainFrm::OnUploadProgress);
  try {
    Worker->InsertVoiceTrack(APos, AFileName);
  } catch (const TStreamError& E) {
    delete Worker;
    MyMessageBox(E.Message(), CErrorCaption, MB_ICONERROR);
    return nullptr;
  } catch (const std::exception& E) {
    // Out of memory for a huge file and the like: nothing was sent either.
    delete Worker;
    MyMessageBox(QString::fromLocal8Bit(E.what()), CErrorCaption, MB_ICONERROR);
    return nullptr;
  }
  ++FUploadsInFlight;
  // Busy until the first progress report.
  UploadStatus->setRange(0, 0);
  UploadStatus->show();
  return Worker;
}

void TMainFrm::OnUploadProgress(qint64 ASent, qint64 ATotal)
{
  if (FUploadsInFlight == 0 || ATotal <= 0)
    return;
  UploadStatus->setRange(0, 1000);
  UploadStatus->setValue(int(qBound(qint64(0), ASent * 1000 / ATotal, qint64(1000))));
}

void TMainFrm::UploadFinished()
{
  if (FUploadsInFlight > 0)
    --FUploadsInFlight;
  if (FUploadsInFlight == 0)
    UploadStatus->hide();
}

void TMainFrm::btDeleteClick()
{
  const int Top = lvPlaylist->TopSelectedRow();
  if (Top < 0)
    return;
  TEdit Edit;
  Edit.Kind = TEdit::ekDelete;
  Edit.Entry = FModel->RefAt(Top);
  BeginEdit(Edit);
}

void TMainFrm::MoveSelected(int AStep)
{
  const int Top = lvPlaylist->TopSelectedRow();
  if (Top < 0 || Top + AStep < 0 || Top + AStep >= FModel->rowCount())
    return;
  TEdit Edit;
  Edit.Kind = TEdit::ekMoveBy;
  Edit.Entry = FModel->RefAt(Top);
  Edit.Step = AStep;
  BeginEdit(Edit);
}

QMenu* TMainFrm::CreateRowMenu(int ARow)
{
  auto* Menu = new QMenu(this);
  Menu->setObjectName(QStringLiteral("RowMenu"));
  const auto Add = [&](const char* AName, const QString& AText, const QKeySequence& AKey,
                       auto AHandler) {
    // The key is shown beside the text; the window's own shortcuts do the work.
    QAction* Action =
        Menu->addAction(AText + QLatin1Char('\t') + AKey.toString(QKeySequence::NativeText));
    Action->setObjectName(QLatin1String(AName));
    connect(Action, &QAction::triggered, this, AHandler);
    return Action;
  };
  Add("actInsertAfter", QStringLiteral("Insert voice track after"), QKeySequence(Qt::Key_Insert),
      [this] { btInsertClick(); });
  Add("actRecord", QStringLiteral("Record voice track"), QKeySequence(Qt::CTRL | Qt::Key_R),
      [this] { btRecordClick(); });
  Menu->addSeparator();
  Add("actMoveUp", QStringLiteral("Move up"), QKeySequence(Qt::ALT | Qt::Key_Up), [this] {
    MoveSelected(-1);
  })->setEnabled(ARow > 0);
  Add("actMoveDown", QStringLiteral("Move down"), QKeySequence(Qt::ALT | Qt::Key_Down), [this] {
    MoveSelected(1);
  })->setEnabled(ARow + 1 < FModel->rowCount());
  Menu->addSeparator();
  Add("actDelete", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete),
      [this] { btDeleteClick(); });
  return Menu;
}

void TMainFrm::btDSPClick()
{
  if (FMicDSPFrm)
    FMicDSPFrm->open();
}

void TMainFrm::btSettingsClick()
{
  // Modal to this window; freed when it closes. Nothing is refreshed afterwards: the next tick
  // uses the new connection values.
  auto* Dialog = new TSettingsFrm(this);
  Dialog->setAttribute(Qt::WA_DeleteOnClose);
  Dialog->open();
}

bool TMainFrm::lvPlaylistDragOver() const
{
  return lvPlaylist->SelectedRows().size() == 1;
}

void TMainFrm::lvPlaylistDragDrop(int ATargetRow)
{
  const int From = lvPlaylist->TopSelectedRow();
  if (From < 0 || ATargetRow < 0)
    return;
  TEdit Edit;
  Edit.Kind = TEdit::ekMove;
  Edit.Entry = FModel->RefAt(From);
  Edit.Target = FModel->RefAt(ATargetRow);
  // The two rows trade places at once, the dragged entry selected where it now is; the list
  // fetched for the move, and the refresh after it, show the station's order.
  if (FPlaylist && size_t(From) < FPlaylist->size() && size_t(ATargetRow) < FPlaylist->size()) {
    std::swap((*FPlaylist)[size_t(From)], (*FPlaylist)[size_t(ATargetRow)]);
    FModel->RowsChanged(From, ATargetRow);
    lvPlaylist->SelectRow(ATargetRow);
  }
  BeginEdit(Edit);
}
