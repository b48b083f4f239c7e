#include "dsp_ui/mic_dsp_frm.h"

#include "audio/level_meter.h"
#include "dsp/dsp_manager.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/stage_window_common.h"
#include "dsp_ui/window_fit.h"
#include "settings/player_ini.h"
#include "settings/settings_text.h"
#include "settings/system_ini.h"
#include "ui_common/level_meter_widget.h"
#include "ui_common/screen_utils.h"
#include "ui_common/translate_form.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <climits>

TMicDSPFrm::TMicDSPFrm(QWidget* AParent, TPlayerIni* APlayerIni, TSystemIni* ASystemIni)
    : QDialog(AParent), FPlayerIni(APlayerIni ? APlayerIni : PlayerIni),
      FSystemIni(ASystemIni ? ASystemIni : SystemIni)
{
  setObjectName(QStringLiteral("MicDSPFrm"));
  setWindowTitle(QStringLiteral("DSP"));
  resize(ScaleForDpi(268), ScaleForDpi(250));

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setMinimumSize(ScaleForDpi(75), ScaleForDpi(23));
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  MonitorCheck = new QCheckBox(QStringLiteral("&Monitor"), this);
  MonitorCheck->setObjectName(QStringLiteral("MonitorCheck"));
  ListenCheck = new QCheckBox(QStringLiteral("&Listen"), this);
  ListenCheck->setObjectName(QStringLiteral("ListenCheck"));
  ListenCheck->setEnabled(false);
  InMeter = new TLevelMeterWidget(this);
  InMeter->setObjectName(QStringLiteral("InMeter"));
  InMeter->setAccessibleName(QStringLiteral("Input level"));
  OutMeter = new TLevelMeterWidget(this);
  OutMeter->setObjectName(QStringLiteral("OutMeter"));
  OutMeter->setAccessibleName(QStringLiteral("Output level"));
  AudioStatus = new QLabel(this);
  AudioStatus->setObjectName(QStringLiteral("AudioStatus"));
  AudioStatus->setWordWrap(true);
  InMeter->SetIdleText(QStringLiteral("Switch Monitor on to hear the chain."));
  OutMeter->SetIdleText(QString());
  connect(MonitorCheck, &QCheckBox::toggled, this, &TMicDSPFrm::SetMonitor);
  connect(ListenCheck, &QCheckBox::toggled, this, &TMicDSPFrm::SetListen);
  FStatusTimer.setInterval(250);
  connect(&FStatusTimer, &QTimer::timeout, this, &TMicDSPFrm::ShowAudioStatus);
  auto* Switches = new QHBoxLayout;
  Switches->addWidget(MonitorCheck);
  Switches->addWidget(ListenCheck);
  Switches->addStretch(1);
  auto* Meters = new QVBoxLayout;
  Meters->setSpacing(ScaleForDpi(2));
  Meters->addLayout(Switches);
  Meters->addWidget(new QLabel(QStringLiteral("In"), this));
  Meters->addWidget(InMeter);
  Meters->addWidget(new QLabel(QStringLiteral("Out"), this));
  Meters->addWidget(OutMeter);
  Meters->addWidget(AudioStatus);

  auto* Bottom = new QHBoxLayout;
  Bottom->addStretch(1);
  Bottom->addWidget(Button1);
  auto* Layout = new QVBoxLayout(this);
  const int Margin = ScaleForDpi(8);
  Layout->setContentsMargins(Margin, Margin, Margin, Margin);
  Layout->setSpacing(ScaleForDpi(6));
  Layout->addWidget(Panel1, 1);
  Layout->addLayout(Meters);
  Layout->addLayout(Bottom);

  FormCreate();

  if (FPlayerIni)
    FSavedText = WriteSettingsText(*FPlayerIni);
  // Stage windows outlive this window's closing, and plug-ins keep their values in themselves:
  // neither may be lost at the end.
  connect(&StageWindowEvents(), &TStageWindowEvents::Closed, this, [this] {
    if (!isVisible())
      SaveIfChanged();
  });
  connect(qApp, &QCoreApplication::aboutToQuit, this, &TMicDSPFrm::SaveIfChanged);
}

TMicDSPFrm::~TMicDSPFrm()
{
  SetMonitor(false);
  if (FDSPManagerFr)
    FDSPManagerFr->SetDSPManager(nullptr);
  FDSPManager.reset();
  delete FDSPManagerFr;
}

void TMicDSPFrm::FormCreate()
{
  if (FDSPManager)
    return;
  FDSPManager = std::make_unique<TDSPManager>(QStringLiteral("Mic"));
  // The chain stays the player settings'.
  if (FPlayerIni)
    FDSPManager->SetDSPList(&FPlayerIni->MicDSPList());
  FDSPManagerFr = new TDSPManagerFr(Panel1);
  FDSPManagerFr->setObjectName(QStringLiteral("MicDSPManagerFrame"));
  auto* PanelLayout = new QVBoxLayout(Panel1);
  PanelLayout->setContentsMargins(0, 0, 0, 0);
  PanelLayout->addWidget(FDSPManagerFr);
  FDSPManagerFr->SetVSTUseTextUI(FSystemIni && FSystemIni->ScreenReaderMode() &&
                                 FSystemIni->ScreenReaderVSTTextUI());
  FDSPManagerFr->SetDSPManager(FDSPManager.get());
  // The main window shows the window from then on; the rows must already be there.
  FDSPManagerFr->UpdateDSPListView();
  setFocusProxy(FDSPManagerFr->lDSP);
}

void TMicDSPFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!AEvent->spontaneous())
    FormShow();
}

void TMicDSPFrm::FormShow()
{
  TranslateForm(this, QStringLiteral("MicDSP.Captions"));
  // Plug-in names are long ("(VST) vendor name [file]"): show them whole.
  WidenToFitRows(this, FDSPManagerFr->lDSP);
  FDSPManagerFr->lDSP->setFocus();
}

void TMicDSPFrm::done(int AResult)
{
  // Closing stops the live sound; the chain stays configured as before.
  MonitorCheck->setChecked(false);
  QDialog::done(AResult);
  FormClose();
}

void TMicDSPFrm::FormClose()
{
  if (!FPlayerIni)
    return;
  FDSPManager->SaveAllVSTParams();
  FPlayerIni->Save();
  FSavedText = WriteSettingsText(*FPlayerIni);
}

void TMicDSPFrm::SaveIfChanged()
{
  if (!FPlayerIni)
    return;
  FDSPManager->SaveAllVSTParams();
  if (WriteSettingsText(*FPlayerIni) != FSavedText)
    FormClose();
}

BOOL TMicDSPFrm::OnRecord(HRECORD, const void* ABuffer, DWORD ALength, void* AUser)
{
  // The audio thread: after the chain. No locks, no allocation.
  auto* self = static_cast<TMicDSPFrm*>(AUser);
  self->FOutLevel->Process(static_cast<const float*>(ABuffer), ALength / (2 * sizeof(float)));
  if (const HSTREAM output = self->FOutput.load()) {
    // Listening must stay close to live: a backlog (the output started late, or stalled) is
    // dropped rather than kept as delay for good.
    BASS_CHANNELSTATUS status{};
    if (BASS_ChannelGetStatus(output, &status) && status.queued <= 2 * ALength)
      BASS_StreamPutData(output, ABuffer, ALength);
  }
  return TRUE;
}

void TMicDSPFrm::SetMonitor(bool AOn)
{
  if (AOn == (FCapture != 0))
    return;
  if (!AOn) {
    FStatusTimer.stop();
    SetListen(false);
    ListenCheck->setChecked(false);
    ListenCheck->setEnabled(false);
    // The stages leave the live channel while it still exists, then go back to no channel.
    if (FDSPManager && FDSPManager->DSPList()) {
      for (int i = 0; i < FDSPManager->DSPList()->Count(); ++i)
        FDSPManager->StopDSP(i);
      FDSPManager->SetWorkChannel(0);
      FDSPManager->StartAllDSPs();
    }
    InMeter->SetMeter(nullptr);
    OutMeter->SetMeter(nullptr);
    BASS_ChannelFree(FCapture);
    FCapture = 0;
    FInLevel.reset();
    FOutLevel.reset();
    InMeter->SetIdleText(QStringLiteral("Switch Monitor on to hear the chain."));
    AudioStatus->clear();
    return;
  }
  constexpr DWORD Rate = 48000;
  constexpr DWORD Chans = 2;
  QByteArray Source;
  if (FSystemIni && FSystemIni->Inputs().Count() > 0)
    Source = FSystemIni->Inputs().Items(0)->DeviceID().toUtf8();
  BASS_RecordSetSource(Source.constData());
  // The true peak matters where the sound leaves the chain; before it, it would only cost time.
  FInLevel = std::make_unique<vexmo::audio::TLevelMeter>(Rate, Chans, false);
  FOutLevel = std::make_unique<vexmo::audio::TLevelMeter>(Rate, Chans);
  if (BASS_RecordInit(-1))
    // Paused until the meter and the stages are on, so that both meters see the same sound.
    FCapture = BASS_RecordStart(Rate, Chans, BASS_RECORD_PAUSE, &TMicDSPFrm::OnRecord, this);
  if (!FCapture) {
    const QString Why = LiveAudioErrorText(BASS_ErrorGetCode());
    InMeter->SetIdleText(Why);
    AudioStatus->setText(Why);
    FInLevel.reset();
    FOutLevel.reset();
    const QSignalBlocker Blocker(MonitorCheck);
    MonitorCheck->setChecked(false);
    return;
  }
  // The input meter runs before every stage of the chain.
  BASS_ChannelSetDSP(FCapture, &vexmo::audio::TLevelMeter::DspProc, FInLevel.get(), INT_MAX);
  if (FDSPManager) {
    FDSPManager->SetWorkChannel(FCapture);
    FDSPManager->StartAllDSPs();
  }
  BASS_ChannelPlay(FCapture, FALSE);
  InMeter->SetMeter(FInLevel.get());
  OutMeter->SetMeter(FOutLevel.get());
  ListenCheck->setEnabled(true);
  AudioStatus->clear();
  FStatusTimer.start();
}

void TMicDSPFrm::SetListen(bool AOn)
{
  if (!AOn) {
    if (const HSTREAM Output = FOutput.exchange(0))
      BASS_StreamFree(Output);
    return;
  }
  if (!FCapture || FOutput.load())
    return;
  const HSTREAM Output =
      BASS_StreamCreate(48000, 2, BASS_SAMPLE_FLOAT | BASS_STREAM_LIVE, STREAMPROC_PUSH, nullptr);
  if (!Output) {
    AudioStatus->setText(QStringLiteral("The sound cannot be played: no output is available."));
    const QSignalBlocker Blocker(ListenCheck);
    ListenCheck->setChecked(false);
    return;
  }
  BASS_ChannelPlay(Output, FALSE);
  FOutput = Output;
}

void TMicDSPFrm::ShowAudioStatus()
{
  if (!FCapture)
    return;
  BASS_CHANNELSTATUS Status{};
  if (BASS_ChannelGetStatus(FCapture, &Status))
    AudioStatus->setText(LiveAudioStateText(Status.state, Status.dropped));
}
