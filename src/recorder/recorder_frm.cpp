#include "recorder/recorder_frm.h"

#include "app/kel_pos_save.h"
#include "base/data_folders.h"
#include "base/message_box.h"
#include "dsp/dsp_manager.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/mic_dsp_frm.h"
#include "recorder/flac_output.h"
#include "recorder/recorder_settings.h"
#include "recorder/recorder_startup.h"
#include "recorder/waveform_view.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "ui_common/level_meter_widget.h"
#include "ui_common/translate_form.h"

#include "audio/level_meter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

namespace {

const QString CCaption = QStringLiteral("quillon");

QString Duration(int64_t AFrames, int ARate)
{
  if (ARate <= 0)
    return QStringLiteral("0:00.0");
  const int64_t Tenths = AFrames * 10 / ARate;
  return QStringLiteral("%1:%2.%3")
      .arg(Tenths / 600)
      .arg(Tenths / 10 % 60, 2, 10, QLatin1Char('0'))
      .arg(Tenths % 10);
}

QString Db(double AValue, const char* AUnit)
{
  return std::isfinite(AValue)
             ? QStringLiteral("%1 %2").arg(AValue, 0, 'f', 1).arg(QLatin1String(AUnit))
             : QStringLiteral("-inf %1").arg(QLatin1String(AUnit));
}

QByteArray FileDigest(const QString& APath)
{
  QFile File(APath);
  if (!File.open(QIODevice::ReadOnly))
    return {};
  return QCryptographicHash::hash(File.readAll(), QCryptographicHash::Sha1);
}

QPushButton* MakeButton(QWidget* AParent, const char* AName, const QString& AText,
                        const QString& AAccessible, const QKeySequence& AKey)
{
  auto* B = new QPushButton(AText, AParent);
  B->setObjectName(QLatin1String(AName));
  B->setAccessibleName(AAccessible);
  if (!AKey.isEmpty()) {
    // A shortcut of its own: the button's text keeps its Alt mnemonic, and translating the text
    // (which resets a button's shortcut to the mnemonic) cannot take the key away.
    auto* Key = new QShortcut(AKey, AParent->window());
    QObject::connect(Key, &QShortcut::activated, B, &QPushButton::click);
    B->setToolTip(
        QStringLiteral("%1 (%2)").arg(AAccessible, AKey.toString(QKeySequence::NativeText)));
  }
  return B;
}

} // namespace

TRecorderFrm::TRecorderFrm(THandOver AHandOver, QWidget* AParent)
    : QMainWindow(AParent), FHandOver(std::move(AHandOver))
{
  setObjectName(QStringLiteral("RecorderFrm"));
  setWindowTitle(QStringLiteral("quillon"));
  auto* Central = new QWidget(this);
  setCentralWidget(Central);
  auto* Main = new QVBoxLayout(Central);

  lbMicrophone = new QLabel(Central);
  lbMicrophone->setObjectName(QStringLiteral("lbMicrophone"));
  lbChain = new QLabel(Central);
  lbChain->setObjectName(QStringLiteral("lbChain"));
  auto* Top = new QHBoxLayout;
  Top->addWidget(lbMicrophone, 1);
  Top->addWidget(lbChain);
  btDSP = MakeButton(Central, "btDSP", QStringLiteral("&DSP"),
                     QStringLiteral("Microphone DSP chain"), QKeySequence(Qt::CTRL | Qt::Key_D));
  Top->addWidget(btDSP);
  Main->addLayout(Top);

  auto* MeterRow = new QHBoxLayout;
  Meter = new TLevelMeterWidget(Central);
  Meter->setObjectName(QStringLiteral("Meter"));
  Meter->setAccessibleName(QStringLiteral("Input level"));
  MeterRow->addWidget(Meter, 1);
  chListen = new QCheckBox(QStringLiteral("&Listen"), Central);
  chListen->setObjectName(QStringLiteral("chListen"));
  chListen->setAccessibleName(QStringLiteral("Listen to the microphone in the headphones"));
  MeterRow->addWidget(chListen);
  Main->addLayout(MeterRow);

  btRecord = MakeButton(Central, "btRecord", QStringLiteral("Record"), QStringLiteral("Record"),
                        QKeySequence());
  btRecord->setMinimumHeight(56);
  QFont Big = btRecord->font();
  Big.setPointSizeF(Big.pointSizeF() * 1.6);
  Big.setBold(true);
  btRecord->setFont(Big);
  Main->addWidget(btRecord);

  Wave = new TWaveformView(Central);
  Wave->setObjectName(QStringLiteral("Wave"));
  Main->addWidget(Wave, 1);
  lbTake = new QLabel(Central);
  lbTake->setObjectName(QStringLiteral("lbTake"));
  lbTake->setAccessibleName(QStringLiteral("Take"));
  Main->addWidget(lbTake);

  auto* Buttons = new QHBoxLayout;
  btPlay = MakeButton(Central, "btPlay", QStringLiteral("&Play"), QStringLiteral("Play the take"),
                      QKeySequence(Qt::CTRL | Qt::Key_P));
  btTrim = MakeButton(Central, "btTrim", QStringLiteral("&Trim silence"),
                      QStringLiteral("Trim silence"), QKeySequence(Qt::CTRL | Qt::Key_T));
  btNormalise =
      MakeButton(Central, "btNormalise", QStringLiteral("&Normalise"),
                 QStringLiteral("Normalise loudness"), QKeySequence(Qt::CTRL | Qt::Key_N));
  btRedo = MakeButton(Central, "btRedo", QStringLiteral("&Redo"), QStringLiteral("Redo the take"),
                      QKeySequence(Qt::CTRL | Qt::Key_R));
  btUse = MakeButton(Central, "btUse", QStringLiteral("&Use take"), QStringLiteral("Use take"),
                     QKeySequence(Qt::CTRL | Qt::Key_Return));
  for (QPushButton* B : {btPlay, btTrim, btNormalise, btRedo, btUse})
    Buttons->addWidget(B);
  Main->addLayout(Buttons);
  lbStatus = new QLabel(Central);
  lbStatus->setObjectName(QStringLiteral("lbStatus"));
  lbStatus->setWordWrap(true);
  lbStatus->setAccessibleName(QStringLiteral("Status"));
  Main->addWidget(lbStatus);

  connect(btRecord, &QPushButton::clicked, this, &TRecorderFrm::RecordOrStop);
  connect(btPlay, &QPushButton::clicked, this, &TRecorderFrm::PlayOrStop);
  connect(btTrim, &QPushButton::clicked, this, &TRecorderFrm::TrimSilenceClick);
  connect(btNormalise, &QPushButton::clicked, this, &TRecorderFrm::NormaliseClick);
  connect(btRedo, &QPushButton::clicked, this, &TRecorderFrm::RedoClick);
  connect(btUse, &QPushButton::clicked, this, &TRecorderFrm::UseTakeClick);
  connect(btDSP, &QPushButton::clicked, this, &TRecorderFrm::DSPClick);
  connect(chListen, &QCheckBox::toggled, this, [this](bool AOn) {
    QString Error;
    if (!FEngine.SetListen(AOn, &Error) && AOn) {
      SetStatus(Error);
      const QSignalBlocker Block(chListen);
      chListen->setChecked(false);
    }
    RecorderSettings().Listen = chListen->isChecked();
  });
  connect(Wave, &TWaveformView::TrimChanged, this, [this](qint64 AStart, qint64 AEnd) {
    if (!FSession.CanEdit())
      return;
    FEdit.Start = AStart;
    FEdit.End = AEnd;
    // A gain chosen for the old range no longer fits the new one.
    FEdit.GainDb = 0;
    FNormaliseNote.clear();
    UpdateTakeInfo();
  });

  // Space starts and stops recording wherever the focus is in the window.
  auto* Space = new QShortcut(QKeySequence(Qt::Key_Space), this);
  connect(Space, &QShortcut::activated, this, &TRecorderFrm::RecordOrStop);
  auto* Escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(Escape, &QShortcut::activated, this, [this] {
    if (FSession.State() == TTakeState::Playing)
      StopPlayback();
  });

  FPosSave = new TKelPosSave(this);
  FPosSave->SetKey(QStringLiteral("Recorder"));
  FTimer = new QTimer(this);
  FTimer->setInterval(33);
  connect(FTimer, &QTimer::timeout, this, &TRecorderFrm::Tick);

  FWatcher = new QFileSystemWatcher(this);
  connect(FWatcher, &QFileSystemWatcher::fileChanged, this, &TRecorderFrm::PlayerIniChanged);
  // The directory too: saving replaces the file, which ends a watch on the file
  // itself.
  connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, &TRecorderFrm::PlayerIniChanged);

  resize(720, 420);
  UpdateControls();
}

TRecorderFrm::~TRecorderFrm()
{
  Meter->SetMeter(nullptr);
  StopPlayback();
  FEngine.Close();
}

void TRecorderFrm::showEvent(QShowEvent* AEvent)
{
  QMainWindow::showEvent(AEvent);
  if (FStarted)
    return;
  FPosSave->SetIniFileName(DataFolder() + QStringLiteral("windowpos.ini"));
  FPosSave->RestorePos();
  TranslateForm(this, QStringLiteral("Recorder.Captions"));
  FTranslation = TFormTranslation::Read(QStringLiteral("Recorder.Captions"));
  UpdateControls();
  QTimer::singleShot(0, this, &TRecorderFrm::Start);
}

void TRecorderFrm::Start()
{
  if (FStarted)
    return;
  FStarted = true;
  FMicDSPFrm = new TMicDSPFrm(this);
  FMicDSPFrm->DSPManagerFr()->UpdateDSPListView();
  FMicDSPFrm->DSPManager()->SetOnChange([this](TDSPManager*) { UpdateChainLabel(); });
  connect(FMicDSPFrm, &QDialog::finished, this, [this] {
    // The window saved player.ini: that change is ours.
    FPlayerIniSeen = FileDigest(TPlayerIni::FileName());
    UpdateChainLabel();
  });
  FPlayerIniSeen = FileDigest(TPlayerIni::FileName());
  FWatcher->addPath(DataFolder());
  if (QFileInfo::exists(TPlayerIni::FileName()))
    FWatcher->addPath(TPlayerIni::FileName());

  OpenMicrophone();
  if (RecorderSettings().Listen && FEngine.IsOpen())
    chListen->setChecked(true);
  FTimer->start();
  OfferUnfinishedTake();
  UpdateControls();
}

void TRecorderFrm::OpenMicrophone()
{
  FMic = ConfiguredMicrophone(SystemIni);
  lbMicrophone->setText(QStringLiteral("Microphone: %1").arg(FMic.DisplayName));
  QString Error;
  // Opening makes a new meter; the widget must not read the old one meanwhile.
  Meter->SetMeter(nullptr);
  if (FEngine.Open(FMic, RecorderSettings().SampleRate, FMicDSPFrm->DSPManager(), &Error)) {
    if (FSession.State() == TTakeState::NoMicrophone)
      FSession.Move(TTakeState::Idle);
    SetStatus({});
    Meter->SetMeter(&FEngine.Meter());
  } else {
    FSession.Move(TTakeState::NoMicrophone);
    SetStatus(Error);
    Meter->SetIdleText(Error);
  }
  UpdateChainLabel();
}

void TRecorderFrm::OfferUnfinishedTake()
{
  const QStringList Takes = FindUnfinishedTakes(VoiceTrackFolder());
  if (Takes.isEmpty() || FSession.HasTake())
    return;
  const QString Path = Takes.first();
  RepairTakeFile(Path);
  const QFileInfo Info(Path);
  const int Answer = MyMessageBox(
      QStringLiteral("A take from %1 was not used yet (%2). Keep it to review and use it?")
          .arg(QLocale().toString(Info.lastModified(), QLocale::ShortFormat), Info.fileName()),
      CCaption, MB_YESNO | MB_ICONQUESTION);
  if (Answer == IDYES) {
    LoadTake(Path);
    return;
  }
  if (MyMessageBox(QStringLiteral("Delete the take %1 for good?").arg(Info.fileName()), CCaption,
                   MB_YESNO | MB_ICONWARNING) == IDYES)
    QFile::remove(Path);
  // Otherwise it stays and is offered again next time.
}

void TRecorderFrm::RecordOrStop()
{
  if (FSession.State() == TTakeState::Recording) {
    StopRecording();
    return;
  }
  if (!FSession.CanRecord())
    return;
  const QString Path =
      NewVoiceTrackPath(VoiceTrackFolder(), TakeFileSuffix(), QDateTime::currentDateTime());
  QString Error;
  if (!FEngine.StartTake(Path, &Error)) {
    SetStatus(QStringLiteral("Cannot record: %1").arg(Error));
    return;
  }
  FTakePath = Path;
  FTake = TTakeAudio{};
  FSession.Move(TTakeState::Recording);
  Wave->SetHandlesShown(false);
  Wave->SetTake(&FEngine.Writer().Overview(), nullptr, FEngine.Chans(), 0);
  SetStatus(QStringLiteral("Recording."));
  UpdateControls();
}

void TRecorderFrm::StopRecording(const QString& AWhy)
{
  const bool Ok = FEngine.StopTake();
  QString Note = AWhy;
  if (!Ok)
    Note = QStringLiteral("Recording stopped: %1 What was recorded is kept.")
               .arg(FEngine.Writer().Error());
  else if (FEngine.Writer().DroppedFrames() > 0)
    Note = QStringLiteral("The computer could not keep up: %1 of sound are "
                          "missing from the take.")
               .arg(Duration(int64_t(FEngine.Writer().DroppedFrames()), FEngine.Rate()));
  if (FEngine.Writer().FramesWritten() == 0) {
    QFile::remove(FTakePath);
    FTakePath.clear();
    FSession.Move(TTakeState::Idle);
    SetStatus(Note.isEmpty() ? QStringLiteral("Nothing was recorded.") : Note);
  } else {
    FSession.Move(TTakeState::Review);
    LoadTake(FTakePath);
    if (!Note.isEmpty())
      SetStatus(Note);
  }
  UpdateControls();
}

bool TRecorderFrm::LoadTake(const QString& APath)
{
  QString Error;
  TTakeAudio Audio;
  if (!ReadTakeFile(APath, Audio, &Error) || Audio.Frames() == 0) {
    SetStatus(
        QStringLiteral("The take %1 cannot be read: %2").arg(QFileInfo(APath).fileName(), Error));
    if (FSession.State() == TTakeState::Review)
      FSession.Move(TTakeState::Idle);
    UpdateControls();
    return false;
  }
  FTakePath = APath;
  FTake = std::move(Audio);
  FOverview.Clear();
  FOverview.Append(FTake.Samples.data(), FTake.Frames(), FTake.Chans);
  FEdit = TTakeEdit{0, FTake.Frames(), 0.0};
  FNormaliseNote.clear();
  FLevels = MeasureTake(FTake, 0, FTake.Frames());
  if (FSession.State() != TTakeState::Review)
    FSession.Move(TTakeState::Review);
  Wave->SetTake(&FOverview, FTake.Samples.data(), FTake.Chans, FTake.Frames());
  Wave->SetTrim(0, FTake.Frames());
  Wave->SetCursor(0);
  Wave->SetHandlesShown(true);
  SetStatus({});
  UpdateTakeInfo();
  UpdateControls();
  return true;
}

void TRecorderFrm::DiscardTake()
{
  StopPlayback();
  if (!FTakePath.isEmpty())
    QFile::remove(FTakePath);
  FTakePath.clear();
  FTake = TTakeAudio{};
  FOverview.Clear();
  FEdit = TTakeEdit{};
  Wave->SetHandlesShown(false);
  Wave->SetTake(nullptr, nullptr, 1, 0);
  FSession.Move(TTakeState::Idle);
  if (!FEngine.IsOpen())
    FSession.Move(TTakeState::NoMicrophone);
  UpdateTakeInfo();
  UpdateControls();
}

void TRecorderFrm::TrimSilenceClick()
{
  if (!FSession.CanEdit())
    return;
  const TRecorderSettings& S = RecorderSettings();
  const TTakeEdit Trimmed = TrimSilence(FTake, S.TrimThresholdDb, S.TrimPaddingMs);
  Wave->SetTrim(Trimmed.Start, Trimmed.End);
  SetStatus(Trimmed.Start == 0 && Trimmed.End == FTake.Frames()
                ? QStringLiteral("No silence to trim.")
                : QStringLiteral("Trimmed %1 at the start and %2 at the end.")
                      .arg(Duration(Trimmed.Start, FTake.Rate),
                           Duration(FTake.Frames() - Trimmed.End, FTake.Rate)));
}

void TRecorderFrm::NormaliseClick()
{
  if (!FSession.CanEdit())
    return;
  const TRecorderSettings& S = RecorderSettings();
  const TTakeLevels Levels = MeasureTake(FTake, FEdit.Start, FEdit.End - FEdit.Start);
  const TNormaliseResult N = NormaliseGain(Levels, S.TargetLufs, S.CeilingDbtp);
  FEdit.GainDb = N.GainDb;
  if (N.Silent)
    FNormaliseNote = QStringLiteral("The take is silent: there is nothing to normalise.");
  else if (N.CeilingLimited)
    FNormaliseNote =
        QStringLiteral("Gain %1: the take reaches only %2 because its peaks would "
                       "pass the ceiling of %3.")
            .arg(Db(N.GainDb, "dB"), Db(N.ResultLufs, "LUFS"), Db(S.CeilingDbtp, "dBTP"));
  else
    FNormaliseNote = QStringLiteral("Gain %1 brings the take to %2.")
                         .arg(Db(N.GainDb, "dB"), Db(N.ResultLufs, "LUFS"));
  SetStatus(FNormaliseNote);
  UpdateTakeInfo();
}

void TRecorderFrm::RedoClick()
{
  if (!FSession.CanEdit())
    return;
  if (MyMessageBox(QStringLiteral("Discard this take and record a new one?"), CCaption,
                   MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  DiscardTake();
  SetStatus(QStringLiteral("The take was discarded."));
}

void TRecorderFrm::UseTakeClick()
{
  if (!FSession.CanEdit())
    return;
  StopPlayback();
  FSession.Move(TTakeState::Using);
  UpdateControls();
  const TRecorderSettings& S = RecorderSettings();
  std::vector<float> Final = RenderTake(FTake, FEdit);
  int Chans = FTake.Chans;
  const int Wanted = S.Channels == 0 ? FTake.Chans : S.Channels;
  if (Wanted != Chans) {
    // Mono from stereo: the mean; stereo from mono: the same on both sides.
    const int64_t Frames = int64_t(Final.size()) / Chans;
    std::vector<float> Mixed(size_t(Frames * Wanted));
    for (int64_t F = 0; F < Frames; ++F)
      for (int C = 0; C < Wanted; ++C)
        Mixed[size_t(F * Wanted + C)] =
            Wanted == 1 ? 0.5f * (Final[size_t(F * 2)] + Final[size_t(F * 2 + 1)])
                        : Final[size_t(F)];
    Final.swap(Mixed);
    Chans = Wanted;
  }
  const QString Target =
      NewVoiceTrackPath(VoiceTrackFolder(), QStringLiteral(".flac"), QDateTime::currentDateTime());
  QString Error;
  if (!WriteFlacFile(Target, Final.data(), int64_t(Final.size()) / Chans,
                     {FTake.Rate, Chans, S.BitsPerSample, 5}, &Error)) {
    FSession.Move(TTakeState::Review);
    SetStatus(QStringLiteral("The take could not be saved: %1 It is still here.").arg(Error));
    UpdateControls();
    return;
  }
  FUsedFile = Target;
  const QString Name = QFileInfo(Target).fileName();
  DiscardTake();
  if (!FHandOver) {
    SetStatus(QStringLiteral("Saved as %1.").arg(Name));
    return;
  }
  SetStatus(QStringLiteral("Saved as %1; Vexmo is inserting it...").arg(Name));
  const QPointer<TRecorderFrm> Self(this);
  FHandOver(Target, [Self, Name](bool AOk, const QString& AMessage) {
    if (!Self)
      return;
    Self->SetStatus(
        AOk ? QStringLiteral("%1 is in the playlist. %2").arg(Name, AMessage).trimmed()
            : QStringLiteral("Saved as %1, but Vexmo did not insert it: %2").arg(Name, AMessage));
  });
}

void TRecorderFrm::DSPClick()
{
  if (FMicDSPFrm)
    FMicDSPFrm->open();
}

DWORD TRecorderFrm::PlayProc(HSTREAM, void* ABuffer, DWORD ALength, void* AUser)
{
  auto* Self = static_cast<TRecorderFrm*>(AUser);
  const int Chans = Self->FTake.Chans;
  const int64_t Total = int64_t(Self->FPlayBuffer.size()) / Chans;
  const int64_t At = Self->FPlayPos.load(std::memory_order_relaxed);
  const int64_t Frames = std::min<int64_t>(ALength / DWORD(4 * Chans), Total - At);
  std::memcpy(ABuffer, Self->FPlayBuffer.data() + At * Chans, size_t(Frames * Chans) * 4);
  Self->FPlayPos.store(At + Frames, std::memory_order_relaxed);
  const DWORD Bytes = DWORD(Frames * Chans * 4);
  return At + Frames >= Total ? Bytes | BASS_STREAMPROC_END : Bytes;
}

void TRecorderFrm::PlayOrStop()
{
  if (FSession.State() == TTakeState::Playing) {
    StopPlayback();
    return;
  }
  if (!FSession.CanEdit())
    return;
  // From the clicked point when it lies in the kept range, else from the start
  // of the range.
  const int64_t From =
      Wave->Cursor() > FEdit.Start && Wave->Cursor() < FEdit.End ? Wave->Cursor() : FEdit.Start;
  TTakeEdit Range = FEdit;
  Range.Start = From;
  FPlayBuffer = RenderTake(FTake, Range);
  FPlayFrom = From;
  FPlayPos = 0;
  FPlayStream =
      BASS_StreamCreate(DWORD(FTake.Rate), DWORD(FTake.Chans), 0, &TRecorderFrm::PlayProc, this);
  if (!FPlayStream || !BASS_ChannelPlay(FPlayStream, FALSE)) {
    if (FPlayStream)
      BASS_ChannelFree(FPlayStream);
    FPlayStream = 0;
    SetStatus(QStringLiteral("The take cannot be played: no sound output is available."));
    return;
  }
  FSession.Move(TTakeState::Playing);
  UpdateControls();
}

void TRecorderFrm::StopPlayback()
{
  if (FPlayStream) {
    BASS_ChannelFree(FPlayStream);
    FPlayStream = 0;
  }
  Wave->SetPlayPosition(-1);
  if (FSession.State() == TTakeState::Playing) {
    FSession.Move(TTakeState::Review);
    UpdateControls();
  }
}

void TRecorderFrm::Tick()
{
  if (FSession.State() == TTakeState::Recording) {
    TTakeWriter& W = FEngine.Writer();
    Wave->SetTake(&W.Overview(), nullptr, FEngine.Chans(), W.FramesWritten());
    lbTake->setText(
        QStringLiteral("Recording %1").arg(Duration(W.FramesWritten(), FEngine.Rate())));
    if (W.Failed())
      StopRecording();
    else if (FEngine.Lost())
      StopRecording(FEngine.Trouble() +
                    QStringLiteral(" Recording stopped; what was recorded is kept."));
  } else if (FSession.State() == TTakeState::Playing && FPlayStream) {
    const QWORD Bytes = BASS_ChannelGetPosition(FPlayStream, BASS_POS_BYTE);
    const int64_t Played = Bytes == QWORD(-1) ? 0 : int64_t(Bytes / QWORD(4 * FTake.Chans));
    Wave->SetPlayPosition(FPlayFrom + Played);
    if (BASS_ChannelIsActive(FPlayStream) == BASS_ACTIVE_STOPPED ||
        Played >= int64_t(FPlayBuffer.size()) / FTake.Chans)
      StopPlayback();
  } else if (FSession.State() == TTakeState::Idle || FSession.State() == TTakeState::NoMicrophone) {
    const QString Trouble = FEngine.Trouble();
    if (!Trouble.isEmpty())
      SetStatus(Trouble);
  }
}

void TRecorderFrm::PlayerIniChanged()
{
  const QString File = TPlayerIni::FileName();
  if (QFileInfo::exists(File) && !FWatcher->files().contains(File))
    FWatcher->addPath(File);
  // While the chain window is open, its own edits rule; it saves on closing.
  if (!PlayerIni || (FMicDSPFrm && FMicDSPFrm->isVisible()))
    return;
  const QByteArray Digest = FileDigest(File);
  if (Digest.isEmpty() || Digest == FPlayerIniSeen)
    return;
  FPlayerIniSeen = Digest;
  TDSPManager* Chain = FMicDSPFrm ? FMicDSPFrm->DSPManager() : nullptr;
  if (Chain)
    for (int I = 0; I < PlayerIni->MicDSPList().Count(); ++I)
      Chain->StopDSP(I);
  PlayerIni->Read();
  if (Chain) {
    if (Chain->WorkChannel())
      Chain->StartAllDSPs();
    FMicDSPFrm->DSPManagerFr()->UpdateDSPListView();
  }
  UpdateChainLabel();
  SetStatus(QStringLiteral("The microphone chain was changed by another program and reloaded."));
}

void TRecorderFrm::UpdateChainLabel()
{
  if (!PlayerIni)
    return;
  TDSPItemsC& List = PlayerIni->MicDSPList();
  int On = 0;
  for (int I = 0; I < List.Count(); ++I)
    if (List.Items(I)->State() == psActive)
      ++On;
  lbChain->setText(List.Count() == 0
                       ? QStringLiteral("Chain: empty")
                       : QStringLiteral("Chain: %1 of %2 stages on").arg(On).arg(List.Count()));
}

void TRecorderFrm::UpdateTakeInfo()
{
  if (!FSession.HasTake()) {
    lbTake->setText(QStringLiteral("No take."));
    return;
  }
  const TTakeLevels L = MeasureTake(FTake, FEdit.Start, FEdit.End - FEdit.Start, FEdit.GainDb);
  FLevels = L;
  QString Text = QStringLiteral("Length %1, peak %2, %3, true peak %4")
                     .arg(Duration(L.Frames, FTake.Rate), Db(L.SamplePeakDb, "dBFS"),
                          Db(L.IntegratedLufs, "LUFS"), Db(L.TruePeakDb, "dBTP"));
  if (FEdit.GainDb != 0.0)
    Text += QStringLiteral(", gain %1").arg(Db(FEdit.GainDb, "dB"));
  lbTake->setText(Text);
}

void TRecorderFrm::UpdateControls()
{
  const TTakeState S = FSession.State();
  const bool Recording = S == TTakeState::Recording;
  btRecord->setText(Tr(Recording ? QStringLiteral("Stop") : QStringLiteral("Record")));
  btRecord->setAccessibleName(
      Tr(Recording ? QStringLiteral("Stop recording") : QStringLiteral("Record")));
  btRecord->setEnabled(Recording || FSession.CanRecord());
  btPlay->setText(Tr(S == TTakeState::Playing ? QStringLiteral("Sto&p") : QStringLiteral("&Play")));
  btPlay->setEnabled(S == TTakeState::Review || S == TTakeState::Playing);
  for (QPushButton* B : {btTrim, btNormalise, btRedo, btUse})
    B->setEnabled(S == TTakeState::Review);
  btDSP->setEnabled(!Recording);
  chListen->setEnabled(FEngine.IsOpen());
  if (!FSession.HasTake() && !Recording)
    lbTake->setText(QStringLiteral("No take."));
}

QString TRecorderFrm::Tr(const QString& AText) const
{
  const QString Translated = FTranslation.Translate(AText);
  return Translated.isEmpty() ? AText : Translated;
}

void TRecorderFrm::SetStatus(const QString& AText)
{
  lbStatus->setText(AText);
}

void TRecorderFrm::closeEvent(QCloseEvent* AEvent)
{
  if (FSession.State() == TTakeState::Recording)
    StopRecording();
  if (FSession.HasTake() && MyMessageBox(QStringLiteral("The take was not used. Close anyway? It "
                                                        "stays in the voice-track "
                                                        "folder and is offered again next time."),
                                         CCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    AEvent->ignore();
    return;
  }
  StopPlayback();
  FEngine.Close();
  FPosSave->SavePos();
  RecorderSettings().Save();
  AEvent->accept();
}
