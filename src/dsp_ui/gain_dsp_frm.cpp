#include "dsp_ui/gain_dsp_frm.h"

#include "dsp/dsp_params.h"
#include "dsp/integrated_dsp.h"
#include "dsp_ui/dpi_units.h"
#include "dsp_ui/l_bar.h"
#include "dsp_ui/stage_window_common.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TGainDSPFrm::TGainDSPFrm(TDSPItemC* AD, QWidget* AParent) : QDialog(AParent), D(AD)
{
  SetUpStageWindow(this, QStringLiteral("GainDSPFrm"), QStringLiteral("Gain"));
  const auto S = [this](int ASize) { return ScaleFrom96Dpi(this, ASize); };

  auto* Bars = new QWidget(this);
  Bars->setObjectName(QStringLiteral("pnBars"));
  cpGain = CreateValueBar(Bars, QStringLiteral("cpGain"), QStringLiteral("Gain"), -30, 30, 0,
                          QStringLiteral("dB"), 0);
  PlaceValueBars(Bars, {cpGain});
  cpGain->SetOnValueChange([this](QObject* ASender) { cpGainValueChange(ASender); });

  btOK = new QPushButton(QStringLiteral("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setAutoDefault(false);
  btOK->setMinimumWidth(S(40));
  // Escape rejects, which closes the window as OK does.
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(btOK);
  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(S(8), 0, S(8), S(8));
  Main->setSpacing(S(6));
  Main->addWidget(Bars);
  Main->addLayout(Buttons);
  Main->setSizeConstraint(QLayout::SetFixedSize);
  setTabOrder(cpGain, btOK);
}

TGainDSPFrm::~TGainDSPFrm() = default;

TGainDSPFrm* TGainDSPFrm::OpenWindow()
{
  return StageWindowSlot<TGainDSPFrm>();
}

void TGainDSPFrm::Open(TDSPItemC* AItem, QWidget* AOwner)
{
  ReplaceStageWindow<TGainDSPFrm>(AItem, AOwner);
}

void TGainDSPFrm::CloseOpen()
{
  CloseStageWindow<TGainDSPFrm>();
}

void TGainDSPFrm::showEvent(QShowEvent* AEvent)
{
  QDialog::showEvent(AEvent);
  if (!InitFinished)
    FormShow();
}

void TGainDSPFrm::FormShow()
{
  const QStringList Lines = D ? D->Params() : QStringList();
  cpGain->SetValue(Lines.size() == 1 ? static_cast<float>(ParseParamFloat(Lines[0])) : 0.0f);
  InitFinished = true;
}

void TGainDSPFrm::cpGainValueChange(QObject* ASender)
{
  if (!InitFinished || !D)
    return;
  D->SetParams({FormatParamFloat(cpGain->Value())});
  if (D->IntDsp)
    D->IntDsp->UpdateDSP();
}
