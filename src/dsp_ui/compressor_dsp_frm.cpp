#include "dsp_ui/compressor_dsp_frm.h"

#include "base/message_box.h"
#include "base/utils.h"
#include "dsp/dsp_params.h"
#include "dsp/integrated_dsp.h"
#include "dsp/presets.h"
#include "dsp_ui/dpi_units.h"
#include "dsp_ui/input_box.h"
#include "dsp_ui/l_bar.h"
#include "dsp_ui/preset_manager.h"
#include "dsp_ui/stage_window_common.h"

#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

TCompressorDSPFrm::TCompressorDSPFrm(TDSPItemC* AD, QWidget* AParent) : QDialog(AParent), D(AD)
{
  SetUpStageWindow(this, QStringLiteral("CompressorDSPFrm"), QStringLiteral("Compressor"));
  CreateControls();
}

TCompressorDSPFrm::~TCompressorDSPFrm()
{
  delete FPresetManager;
  FPresetManager = nullptr;
}

void TCompressorDSPFrm::CreateControls()
{
  const auto S = [this](int ASize) { return ScaleFrom96Dpi(this, ASize); };

  auto* Bars = new QWidget(this);
  Bars->setObjectName(QStringLiteral("pnBars"));
  cpGain = CreateValueBar(Bars, QStringLiteral("cpGain"), QStringLiteral("Gain"), -30, 30, 0,
                          QStringLiteral("dB"), 0);
  cpThres = CreateValueBar(Bars, QStringLiteral("cpThres"), QStringLiteral("Threshold"), -30, 0, 0,
                           QStringLiteral("dB"), 0);
  cpRatio = CreateValueBar(Bars, QStringLiteral("cpRatio"), QStringLiteral("Ratio"), 1, 20, 1,
                           QString(), 1);
  cpAttack = CreateValueBar(Bars, QStringLiteral("cpAttack"), QStringLiteral("Attack"), 1, 1000, 0,
                            QStringLiteral("ms"), 1);
  cpRelease = CreateValueBar(Bars, QStringLiteral("cpRelease"), QStringLiteral("Release"), 1, 2000,
                             0, QStringLiteral("ms"), 1);
  const QList<TLBar*> All{cpGain, cpThres, cpRatio, cpAttack, cpRelease};
  PlaceValueBars(Bars, All);
  for (TLBar* Bar : All)
    Bar->SetOnValueChange([this](QObject* ASender) { cpGainValueChange(ASender); });
  cpRatio->SetOnGetAccessibleValue([](QObject* ASender, QString& AValue) {
    if (auto* Bar = qobject_cast<TLBar*>(ASender))
      AValue = RatioAccessibleValue(Bar->Position());
  });

  btReset = new QPushButton(QStringLiteral("&Reset"), this);
  btReset->setObjectName(QStringLiteral("btReset"));
  btReset->setAutoDefault(false);
  btReset->setMinimumWidth(S(55));
  btPreset = new QPushButton(QStringLiteral("&Preset"), this);
  btPreset->setObjectName(QStringLiteral("btPreset"));
  btPreset->setAutoDefault(false);
  btPreset->setMinimumWidth(S(75));
  btOK = new QPushButton(QStringLiteral("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setAutoDefault(false);
  btOK->setMinimumWidth(S(40));

  const TPresetMenu Menu = CreatePresetMenu(btPreset);
  pmPreset = Menu.pmPreset;
  Load1 = Menu.Load1;
  Save1 = Menu.Save1;
  Delete1 = Menu.Delete1;

  connect(btReset, &QPushButton::clicked, this, [this] { btResetClick(); });
  connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
  // Escape rejects, which closes the window as OK does.
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* Buttons = new QHBoxLayout;
  Buttons->setSpacing(S(6));
  Buttons->addWidget(btReset);
  Buttons->addWidget(btPreset);
  Buttons->addStretch(1);
  Buttons->addWidget(btOK);

  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(S(8), 0, S(8), S(8));
  Main->setSpacing(S(6));
  Main->addWidget(Bars);
  Main->addLayout(Buttons);
  Main->setSizeConstraint(QLayout::SetFixedSize);

  for (int i = 1; i < All.size(); ++i)
    setTabOrder(All[i - 1], All[i]);
  setTabOrder(cpRelease, btReset);
  setTabOrder(btReset, btPreset);
  setTabOrder(btPreset, btOK);
}

TCompressorDSPFrm* TCompressorDSPFrm::OpenWindow()
{
  return StageWindowSlot<TCompressorDSPFrm>();
}

void TCompressorDSPFrm::Open(TDSPItemC* AItem, QWidget* AOwner)
{
  ReplaceStageWindow<TCompressorDSPFrm>(AItem, AOwner);
}

void TCompressorDSPFrm::CloseOpen()
{
  CloseStageWindow<TCompressorDSPFrm>();
}

QString TCompressorDSPFrm::RatioAccessibleValue(int APosition)
{
  QString Text = QString::number(APosition / 10.0, 'f', 1);
  Text.replace(QLatin1Char('.'), QLocale().decimalPoint());
  return Text;
}

void TCompressorDSPFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!InitFinished)
    FormShow();
}

void TCompressorDSPFrm::FormShow()
{
  const QStringList Lines = D ? D->Params() : QStringList();
  if (Lines.size() == 5)
    SetValues(ParseParamFloat(Lines[0]), ParseParamFloat(Lines[1]), ParseParamFloat(Lines[2]),
              ParseParamFloat(Lines[3]), ParseParamFloat(Lines[4]));
  else
    btResetClick();
  InitFinished = true;

  FPresetManager = new TPresetManager(
      CompressorPresetFolder(), Load1, Delete1, this,
      [this](QObject* ASender, const QString& AFileName) { LoadPreset(ASender, AFileName); },
      CompressorPresetExt);
  FPresetManager->UpdateMenus();
}

void TCompressorDSPFrm::SetValues(double AGain, double AThres, double ARatio, double AAttack,
                                  double ARelease)
{
  cpGain->SetValue(static_cast<float>(AGain));
  cpThres->SetValue(static_cast<float>(AThres));
  cpRatio->SetValue(static_cast<float>(ARatio));
  cpAttack->SetValue(static_cast<float>(AAttack));
  cpRelease->SetValue(static_cast<float>(ARelease));
}

void TCompressorDSPFrm::cpGainValueChange(QObject* ASender)
{
  if (!InitFinished || !D)
    return;
  D->SetParams({FormatParamFloat(cpGain->Value()), FormatParamFloat(cpThres->Value()),
                FormatParamFloat(cpRatio->Value()), FormatParamFloat(cpAttack->Value()),
                FormatParamFloat(cpRelease->Value())});
  if (D->IntDsp)
    D->IntDsp->UpdateDSP();
}

void TCompressorDSPFrm::btResetClick()
{
  SetValues(4, -16, 5, 10, 200);
  if (D && D->IntDsp)
    D->IntDsp->UpdateDSP();
}

void TCompressorDSPFrm::LoadPreset(QObject* ASender, const QString& AFileName)
{
  const std::optional<TCompressorPresetValues> Values = ReadCompressorPresetFile(AFileName);
  if (!Values)
    return;
  SetValues((*Values)[0], (*Values)[1], (*Values)[2], (*Values)[3], (*Values)[4]);
  if (D)
    D->SetPresetName(FileDisplayName(AFileName, false));
}

void TCompressorDSPFrm::Save1Click()
{
  if (!D)
    return;
  const QPointer<TCompressorDSPFrm> Self(this);
  InputBox(this, QStringLiteral("Save"), QStringLiteral("Preset name"), D->PresetName(),
           [Self](const QString& AValue) {
             if (!Self || !Self->D)
               return;
             const QString Name = StripFileNameChars(AValue);
             // The values the sliders show. Params holds the same once a slider has moved, but
             // a stage that was never changed has none (or a damaged list) while the window
             // shows the starting values.
             const TCompressorPresetValues Values{
                 double(Self->cpGain->Value()), double(Self->cpThres->Value()),
                 double(Self->cpRatio->Value()), double(Self->cpAttack->Value()),
                 double(Self->cpRelease->Value())};
             QString Error;
             if (WriteCompressorPresetFile(CompressorPresetFolder() + Name + QLatin1Char('.') +
                                               CompressorPresetExt,
                                           Values, Error))
               Self->D->SetPresetName(Name);
             else
               MyMessageBox(QStringLiteral("Unable to save preset: ") + Error,
                            QStringLiteral("Error"), MB_ICONERROR);
             if (Self->FPresetManager)
               Self->FPresetManager->UpdateMenus();
           });
}
