#include "dsp_ui/eq_dsp_frm.h"

#include "base/message_box.h"
#include "base/utils.h"
#include "dsp/dsp_params.h"
#include "dsp/integrated_dsp.h"
#include "dsp/plugins.h"
#include "dsp/presets.h"
#include "dsp_ui/dpi_units.h"
#include "dsp_ui/dsp_eq_bands_frm.h"
#include "dsp_ui/input_box.h"
#include "dsp_ui/preset_manager.h"
#include "dsp_ui/stage_window_common.h"
#include "settings/system_ini.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPointer<TEqDSPFrm>& OpenEq()
{
  static QPointer<TEqDSPFrm> Instance;
  return Instance;
}

} // namespace

TSystemIniBase* EqSettings()
{
  return PluginSettings();
}

TEqDSPFrm::TEqDSPFrm(TDSPItemC* AD, QWidget* AParent) : QDialog(AParent), D(AD)
{
  SetUpStageWindow(this, QStringLiteral("EqDSPFrm"), QStringLiteral("Equalizer"));
  CreateControls();
}

TEqDSPFrm::~TEqDSPFrm()
{
  delete FPresetManager;
  FPresetManager = nullptr;
}

void TEqDSPFrm::CreateControls()
{
  const auto S = [this](int ASize) { return ScaleFrom96Dpi(this, ASize); };

  auto* Bands = new QGridLayout;
  Bands->setHorizontalSpacing(S(6));
  Bands->setVerticalSpacing(S(4));
  QFont SmallFont = font();
  SmallFont.setPointSizeF(qMax(6.0, SmallFont.pointSizeF() - 1));
  for (int i = 0; i < MaxBands; ++i) {
    leq[i] = new QLabel(QStringLiteral("0"), this);
    leq[i]->setObjectName(QStringLiteral("leq%1").arg(i));
    leq[i]->setAlignment(Qt::AlignCenter);
    leq[i]->setMinimumWidth(S(24));

    TrackBar[i] = new TKelTrackBar(this);
    TrackBar[i]->setObjectName(QStringLiteral("TrackBar%1").arg(i));
    TrackBar[i]->SetOrientation(Qt::Vertical);
    TrackBar[i]->SetTag(i);
    TrackBar[i]->SetPageSize(1);
    TrackBar[i]->setTickPosition(QSlider::NoTicks);
    TrackBar[i]->SetMin(-10);
    TrackBar[i]->SetMax(10);
    TrackBar[i]->setFixedHeight(S(90));
    TrackBar[i]->setMinimumWidth(S(20));
    TrackBar[i]->SetAccessibleDescription(QStringLiteral("Equalizer band gain in decibels"));
    TrackBar[i]->SetAccessibleValueScale(-1);
    TrackBar[i]->SetOnChange([this](QObject* ASender) { TrackBar0Change(ASender); });
    TrackBar[i]->SetOnGetAccessibleValue([](QObject* ASender, QString& AValue) {
      // The gain, not the position: the slider runs from +range at the top to -range.
      if (auto* Bar = qobject_cast<TKelTrackBar*>(ASender))
        AValue = QString::number(-Bar->Position());
    });

    l_eq[i] = new QLabel(QStringLiteral("---"), this);
    l_eq[i]->setObjectName(QStringLiteral("l_eq%1").arg(i));
    l_eq[i]->setAlignment(Qt::AlignCenter);
    l_eq[i]->setFont(SmallFont);

    Bands->addWidget(leq[i], 0, i, Qt::AlignHCenter);
    Bands->addWidget(TrackBar[i], 1, i, Qt::AlignHCenter);
    Bands->addWidget(l_eq[i], 2, i, Qt::AlignHCenter);
    Bands->setColumnMinimumWidth(i, S(20));
  }
  // Hidden bands give their room to the right-hand side; the others stay where they are.
  Bands->setColumnStretch(MaxBands, 1);
  for (int i = 1; i < MaxBands; ++i)
    setTabOrder(TrackBar[i - 1], TrackBar[i]);

  SpeedButton2 = new QPushButton(QStringLiteral("&Reset"), this);
  SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
  SpeedButton2->setAutoDefault(false);
  btPreset = new QPushButton(QStringLiteral("&Preset"), this);
  btPreset->setObjectName(QStringLiteral("btPreset"));
  btPreset->setAutoDefault(false);
  SpeedButton1 = new QPushButton(QStringLiteral("&Bands"), this);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setAutoDefault(false);
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setAutoDefault(false);
  for (QPushButton* Button : {SpeedButton2, SpeedButton1, Button1})
    Button->setMinimumWidth(S(48));
  btPreset->setMinimumWidth(S(75));

  const TPresetMenu Menu = CreatePresetMenu(btPreset);
  pmPreset = Menu.pmPreset;
  Load1 = Menu.Load1;
  Save1 = Menu.Save1;
  Delete1 = Menu.Delete1;

  connect(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
  // Escape rejects, which closes the window as OK does; the stage already holds every change.
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

  auto* Buttons = new QHBoxLayout;
  Buttons->setSpacing(S(6));
  Buttons->addWidget(SpeedButton2);
  Buttons->addWidget(btPreset);
  Buttons->addWidget(SpeedButton1);
  Buttons->addStretch(1);
  Buttons->addWidget(Button1);

  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(S(8), S(8), S(8), S(8));
  Main->setSpacing(S(10));
  Main->addLayout(Bands);
  Main->addLayout(Buttons);
  Main->setSizeConstraint(QLayout::SetFixedSize);
}

TEqDSPFrm* TEqDSPFrm::OpenWindow()
{
  return OpenEq();
}

void TEqDSPFrm::Open(TDSPItemC* AItem, QWidget* AOwner)
{
  CloseOpen();
  if (!AItem)
    return;
  auto* Form = new TEqDSPFrm(AItem);
  OpenEq() = Form;
  Form->ensurePolished();
  Form->adjustSize();
  CenterOnOwner(Form, AOwner);
  Form->show();
}

void TEqDSPFrm::CloseOpen()
{
  // Deleted at once: the caller may delete the entry the window points at right after.
  delete OpenEq().data();
  OpenEq() = nullptr;
}

QString TEqDSPFrm::FrequencyText(int AFrequency)
{
  if (AFrequency > 999)
    return QString::number(AFrequency / 1000) + QLatin1Char('K');
  return QString::number(AFrequency);
}

int TEqDSPFrm::BandCount() const
{
  TSystemIniBase* Settings = EqSettings();
  if (!Settings)
    return 0;
  return std::clamp(Settings->BandsNum(), 0, std::min<int>(MaxBands, Settings->EQBands().Count()));
}

void TEqDSPFrm::LayoutBands()
{
  TSystemIniBase* Settings = EqSettings();
  const int Count = BandCount();
  const int Range = Settings ? qMax(0, Settings->EQRange()) : 10;
  FLayingOut = true;
  for (int i = 0; i < MaxBands; ++i) {
    if (i < Count)
      l_eq[i]->setText(FrequencyText(Settings->EQBands().Items(i)->CenterFreq()));
    // Kept in step with the label, so that a changed layout is not announced with the old
    // frequency ("1K hertz").
    TrackBar[i]->SetAccessibleName(l_eq[i]->text() + QStringLiteral(" hertz"));
    const bool Visible = i < Count;
    leq[i]->setVisible(Visible);
    l_eq[i]->setVisible(Visible);
    TrackBar[i]->setVisible(Visible);
    TrackBar[i]->setRange(-Range, Range);
  }
  FLayingOut = false;
}

void TEqDSPFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!InitFinished)
    FormShow();
}

void TEqDSPFrm::FormShow()
{
  LayoutBands();

  std::array<int, MaxBands> Gains{};
  if (D) {
    const QStringList& Lines = D->Params();
    for (int i = 0; i < MaxBands && i < Lines.size(); ++i)
      Gains[i] = ParseParamInt(Lines.at(i));
  }
  const int Count = BandCount();
  for (int i = 0; i < Count; ++i)
    TrackBar[i]->SetPosition(-Gains[i]);
  // Band 1's text must be right even when its slider did not move.
  TrackBar0Change(TrackBar[0]);

  InitFinished = true;

  FPresetManager = new TPresetManager(
      EqPresetFolder(), Load1, Delete1, this,
      [this](QObject* ASender, const QString& AFileName) { LoadPreset(ASender, AFileName); },
      EqPresetExt);
  FPresetManager->UpdateMenus();
}

void TEqDSPFrm::TrackBar0Change(QObject* ASender)
{
  auto* Bar = qobject_cast<TKelTrackBar*>(ASender);
  if (!Bar)
    return;
  const int P = Bar->Position();
  const int K = Bar->Tag();
  if (K >= 0 && K < MaxBands) {
    if (P > 0)
      leq[K]->setText(QLatin1Char('-') + QString::number(P));
    else if (P < 0)
      leq[K]->setText(QLatin1Char('+') + QString::number(-P));
    else
      leq[K]->setText(QStringLiteral("0"));
  }
  if (InitFinished && !FLayingOut)
    WriteParams();
}

void TEqDSPFrm::WriteParams()
{
  if (!D)
    return;
  QStringList Lines;
  const int Count = BandCount();
  for (int i = 0; i < Count; ++i)
    Lines.append(QString::number(-TrackBar[i]->Position()));
  D->SetParams(Lines);
  if (D->IntDsp)
    D->IntDsp->UpdateDSP();
}

void TEqDSPFrm::SpeedButton2Click()
{
  const int Count = BandCount();
  for (int i = 0; i < Count; ++i)
    TrackBar[i]->SetPosition(0);
  if (D && D->IntDsp)
    D->IntDsp->UpdateDSP();
}

void TEqDSPFrm::SpeedButton1Click()
{
  if (FBandsFrm)
    return;
  // Window-modal and answered through a signal: no nested event loop runs under this window.
  auto* Bands = new TDSPEqBandsFrm(EqSettings(), this);
  FBandsFrm = Bands;
  Bands->setAttribute(Qt::WA_DeleteOnClose);
  connect(Bands, &QDialog::accepted, this, [this] { LayoutBands(); });
  Bands->open();
}

void TEqDSPFrm::LoadPreset(QObject* ASender, const QString& AFileName)
{
  const QString Name = FileDisplayName(AFileName, false);
  const std::optional<TEqPresetGains> Gains = ReadEqPresetFile(AFileName);
  if (!Gains)
    return;
  const int Count = BandCount();
  for (int i = 0; i < Count; ++i)
    TrackBar[i]->SetPosition(-(*Gains)[i]);
  if (D)
    D->SetPresetName(Name);
}

void TEqDSPFrm::Save1Click()
{
  if (!D)
    return;
  const QPointer<TEqDSPFrm> Self(this);
  InputBox(this, QStringLiteral("Save"), QStringLiteral("Preset name"), D->PresetName(),
           [Self](const QString& AValue) {
             if (!Self || !Self->D)
               return;
             const QString Name = StripFileNameChars(AValue);
             // The gains the window shows: the first twelve lines (the file has room for
             // twelve bands), a line that is no integer counting as 0.
             TEqPresetGains Gains{};
             const QStringList& Lines = Self->D->Params();
             for (int i = 0; i < MaxBands && i < Lines.size(); ++i)
               Gains[i] = ParseParamInt(Lines.at(i));
             QString Error;
             if (WriteEqPresetFile(EqPresetFolder() + Name + QLatin1Char('.') + EqPresetExt, Gains,
                                   Error))
               Self->D->SetPresetName(Name);
             else
               MyMessageBox(QStringLiteral("An error occurred: ") + Error, QStringLiteral("Error"),
                            MB_ICONERROR);
             if (Self->FPresetManager)
               Self->FPresetManager->UpdateMenus();
           });
}
