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
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString CErrorCaption = QStringLiteral("Error");

// Designed widths of the grid's columns, in 96-DPI units.
constexpr int CColumnWidths[TPlaylistModel::ColumnCount] = {60, 90, 300, 60};

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
  btRecord =
      CreateButton(QStringLiteral("btRecord"), QStringLiteral("record broadcast "),
                   QStringLiteral("Record voice track"), QStringLiteral("Record voice track"));
  btInsert =
      CreateButton(QStringLiteral("btInsert"), QStringLiteral("insert"),
                   QStringLiteral("Insert voice track"), QStringLiteral("Insert voice track"));
  btDelete = CreateButton(QStringLiteral("btDelete"), QStringLiteral("Delete"),
                          QStringLiteral("Delete track"), QStringLiteral("Delete track"));
  // The DSP button's hint reads "Settings" like the next one; its accessible name tells the two
  // apart for screen reader users.
  btDSP = CreateButton(QStringLiteral("btDSP"), QStringLiteral("FX"), QStringLiteral("Settings"),
                       QStringLiteral("Microphone DSP"));
  btSettings = CreateButton(QStringLiteral("btSettings"), QStringLiteral("settings"),
                            QStringLiteral("Settings"), QStringLiteral("Settings"));
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

  btRecord->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  btInsert->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  btDelete->setShortcut(QKeySequence(Qt::Key_Delete));
  btDSP->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  btSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  // The Insert key also uploads, for keyboards that have one.
  auto* InsertKey = new QShortcut(QKeySequence(Qt::Key_Insert), this);
  connect(InsertKey, &QShortcut::activated, btInsert, &QToolButton::animateClick);

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
  for (int I = 0; I < TPlaylistModel::ColumnCount; ++I)
    Header->resizeSection(I, ScaleForDpi(CColumnWidths[I]));
  // The title column leads until the stored layout says otherwise.
  lvPlaylist->setTreePosition(TPlaylistModel::colStartTime);
  lvPlaylist->OnDragOver = [this] { return lvPlaylistDragOver(); };
  lvPlaylist->OnDragDrop = [this](int ATargetRow) { lvPlaylistDragDrop(ATargetRow); };
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
  ApplyPlaylist(ASender->Success(), ASender->TakePlaylist(), ASender->Error());
}

void TMainFrm::ApplyPlaylist(bool ASuccess, std::unique_ptr<TPlaylist> AList, const QString& AError)
{
  FUpdatingPlaylist = false;
  if (ASuccess) {
    FPlaylist = AList ? std::move(AList) : std::make_unique<TPlaylist>();
    FModel->SetList(FPlaylist.get());
    UpdatePlaylistView();
    StatusPanel->clear();
    StatusPanel->setToolTip(QString());
  } else {
    StatusPanel->setText(AError.simplified());
    StatusPanel->setToolTip(AError);
  }
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
  if (FDestroying)
    return;
  if (ASender->IsUpload())
    UploadFinished();
  if (auto Reply = FTakeReplies.take(ASender))
    Reply(ASender->Success(), ASender->Success() ? QString() : ASender->Error());
  if (ASender->Success())
    RefreshPlaylist();
  else
    MyMessageBox(ASender->Error(), CErrorCaption, MB_ICONERROR);
}

void TMainFrm::btRecordClick()
{
  // The recorder is not watched; a missing one is simply not started.
  QString Error;
  RunCommandLine(QLatin1Char('"') + ProgramFolder() + QStringLiteral("quillon\" -vexmo"), nullptr,
                 Error);
}

void TMainFrm::btInsertClick()
{
  const int Top = lvPlaylist->TopSelectedRow();
  if (Top < 0) {
    MyMessageBox(QStringLiteral("Plase select a track in the playlist"), CErrorCaption,
                 MB_ICONWARNING);
    return;
  }
  const QString Folder = PlayerIni ? ExpandDataPath(PlayerIni->VoiceTracksFolder()) : QString();
  const QPointer<TMainFrm> Self(this);
  // The newest take is selected: it is usually the one just recorded.
  SelectOpenFile(this, NewestVoiceTrack(Folder), QStringLiteral("FLAC (*.flac)"),
                 [Self, Top](const QString& AFileName) {
                   if (Self && !Self->FDestroying)
                     Self->StartUpload(Top + 2, AFileName);
                 });
}

void TMainFrm::InsertVoiceTrackFile(const QString& AFileName,
                                    std::function<void(bool, const QString&)> ADone)
{
  const int Top = lvPlaylist->TopSelectedRow();
  if (Top < 0) {
    MyMessageBox(QStringLiteral("Plase select a track in the playlist"), CErrorCaption,
                 MB_ICONWARNING);
    ADone(false, QStringLiteral("No entry is selected in the playlist."));
    return;
  }
  if (TAPI* Worker = StartUpload(Top + 2, AFileName))
    FTakeReplies.insert(Worker, std::move(ADone));
  else
    ADone(false, QStringLiteral("The file could not be sent."));
}

TAPI* TMainFrm::StartUpload(int APos, const QString& AFileName)
{
  auto* Worker = new TAPI(this, &TMainFrm::OnEditReady);
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
  (new TAPI(this, &TMainFrm::OnEditReady))->DeletePlaylistTrack(Top);
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
  // The two rows trade places at once; the refresh after the move shows the station's order.
  if (FPlaylist && size_t(From) < FPlaylist->size() && size_t(ATargetRow) < FPlaylist->size()) {
    std::swap((*FPlaylist)[size_t(From)], (*FPlaylist)[size_t(ATargetRow)]);
    FModel->RowsChanged(From, ATargetRow);
  }
  (new TAPI(this, &TMainFrm::OnEditReady))->MovePlaylistTrack(From, ATargetRow);
}
