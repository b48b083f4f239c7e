#include "dsp_ui/dsp_eq_bands_frm.h"

#include "dsp_ui/dpi_units.h"
#include "dsp_ui/float_edit.h"
#include "settings/system_ini.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TDSPEqBandsFrm::TDSPEqBandsFrm(TSystemIniBase* ASettings, QWidget* AParent)
    : QDialog(AParent), FSettings(ASettings)
{
  setObjectName(QStringLiteral("DSPEqBandsFrm"));
  setWindowTitle(QStringLiteral("EQ Bands"));
  CreateControls();
  FormShow();
}

TDSPEqBandsFrm::~TDSPEqBandsFrm() = default;

void TDSPEqBandsFrm::CreateControls()
{
  const auto S = [this](int ASize) { return ScaleFrom96Dpi(this, ASize); };
  const auto MakeLabel = [this](const QString& AText, const char* AName) {
    auto* Label = new QLabel(AText, this);
    Label->setObjectName(QString::fromLatin1(AName));
    return Label;
  };

  Label40 = MakeLabel(QStringLiteral("&Bands (0-12):"), "Label40");
  uBandsNum = new QSpinBox(this);
  uBandsNum->setObjectName(QStringLiteral("uBandsNum"));
  uBandsNum->setAccessibleName(QStringLiteral("Bands"));
  uBandsNum->setRange(0, MaxBands);
  uBandsNum->setMinimumWidth(S(50));
  Label40->setBuddy(uBandsNum);

  Label1 = MakeLabel(QStringLiteral("&Range (dB)"), "Label1");
  uRange = new QSpinBox(this);
  uRange->setObjectName(QStringLiteral("uRange"));
  uRange->setAccessibleName(QStringLiteral("Range (dB)"));
  uRange->setRange(0, 20);
  uRange->setMinimumWidth(S(50));
  Label1->setBuddy(uRange);

  Label54 = MakeLabel(QStringLiteral("Band&width (0.1-6):"), "Label54");
  uBandwidth = new TSpinFloatEdit(this);
  uBandwidth->setObjectName(QStringLiteral("uBandwidth"));
  uBandwidth->setAccessibleName(QStringLiteral("Bandwidth in octaves"));
  uBandwidth->BeginLoading();
  uBandwidth->SetIncrement(0.1);
  uBandwidth->SetDigits(1);
  uBandwidth->SetMin(0.1);
  uBandwidth->SetMax(6.0);
  uBandwidth->SetValue(0.1);
  uBandwidth->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  uBandwidth->EndLoading();
  uBandwidth->setFixedWidth(S(50));
  Label54->setBuddy(uBandwidth);
  Label55 = MakeLabel(QStringLiteral("octaves"), "Label55");

  Label41 = MakeLabel(QStringLiteral("Center frequency (1-25000Hz)"), "Label41");

  auto* Top = new QGridLayout;
  Top->setHorizontalSpacing(S(12));
  Top->addWidget(Label40, 0, 0);
  Top->addWidget(uBandsNum, 1, 0);
  Top->addWidget(Label1, 0, 1);
  Top->addWidget(uRange, 1, 1);
  Top->setColumnStretch(2, 1);

  auto* Bandwidth = new QHBoxLayout;
  Bandwidth->addWidget(uBandwidth);
  Bandwidth->addWidget(Label55);
  Bandwidth->addStretch(1);

  // Three columns of four bands, filled column by column as the numbers run.
  auto* BandGrid = new QGridLayout;
  BandGrid->setHorizontalSpacing(S(8));
  BandGrid->setVerticalSpacing(S(6));
  for (int i = 0; i < MaxBands; ++i) {
    BandLabel[i] = new QLabel(QStringLiteral("Band %1:").arg(i + 1), this);
    BandLabel[i]->setObjectName(QStringLiteral("Label%1").arg(42 + i));
    uBand[i] = new QSpinBox(this);
    uBand[i]->setObjectName(QStringLiteral("uBand%1").arg(i));
    uBand[i]->setAccessibleName(QStringLiteral("Band %1 center frequency in hertz").arg(i + 1));
    uBand[i]->setRange(1, 25000);
    uBand[i]->setValue(1);
    uBand[i]->setGroupSeparatorShown(true);
    uBand[i]->setMinimumWidth(S(72));
    BandLabel[i]->setBuddy(uBand[i]);
    const int Column = (i / 4) * 2;
    const int Row = i % 4;
    BandGrid->addWidget(BandLabel[i], Row, Column);
    BandGrid->addWidget(uBand[i], Row, Column + 1);
  }
  BandGrid->setColumnMinimumWidth(2, S(40) - S(8));
  BandGrid->setColumnMinimumWidth(4, S(40) - S(8));

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  Button1->setMinimumWidth(S(75));
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setAutoDefault(false);
  Button2->setMinimumWidth(S(75));
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(uBandsNum, &QSpinBox::valueChanged, this, [this] { uBandsNumClick(); });
  connect(uRange, &QSpinBox::valueChanged, this, [this] { uBandsNumClick(); });

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(Button1);
  Buttons->addWidget(Button2);

  auto* Main = new QVBoxLayout(this);
  Main->setContentsMargins(S(8), S(8), S(8), S(8));
  Main->setSpacing(S(6));
  Main->addLayout(Top);
  Main->addSpacing(S(4));
  Main->addWidget(Label54);
  Main->addLayout(Bandwidth);
  Main->addSpacing(S(8));
  Main->addWidget(Label41);
  Main->addLayout(BandGrid);
  Main->addSpacing(S(8));
  Main->addStretch(1);
  Main->addLayout(Buttons);

  setTabOrder(uBandsNum, uRange);
  setTabOrder(uRange, uBandwidth);
  setTabOrder(uBandwidth, uBand[0]);
  for (int i = 1; i < MaxBands; ++i)
    setTabOrder(uBand[i - 1], uBand[i]);
  setTabOrder(uBand[MaxBands - 1], Button1);
  setTabOrder(Button1, Button2);
}

void TDSPEqBandsFrm::FormShow()
{
  if (!FSettings) {
    uBandsNumClick();
    return;
  }
  uBandsNum->setValue(FSettings->BandsNum());
  uBandsNumClick();
  uBandwidth->SetValue(FSettings->Bandwidth());
  for (int i = 0; i < MaxBands; ++i) {
    TEQBandsBand* Band = i < FSettings->EQBands().Count() ? FSettings->EQBands().Items(i) : nullptr;
    uBand[i]->setValue(Band ? Band->CenterFreq() : 1);
  }
  uRange->setValue(FSettings->EQRange());
}

void TDSPEqBandsFrm::uBandsNumClick()
{
  for (int i = 0; i < MaxBands; ++i) {
    const bool Enabled = i < uBandsNum->value();
    uBand[i]->setEnabled(Enabled);
    BandLabel[i]->setEnabled(Enabled);
  }
}

void TDSPEqBandsFrm::Button1Click()
{
  if (FSettings) {
    FSettings->SetBandsNum(uBandsNum->value());
    FSettings->SetBandwidth(static_cast<float>(uBandwidth->Value()));
    // Disabled bands are stored as well: they keep what the user last gave them.
    while (FSettings->EQBands().Count() < MaxBands)
      FSettings->EQBands().Add()->SetCenterFreq(1);
    for (int i = 0; i < MaxBands; ++i)
      FSettings->EQBands().Items(i)->SetCenterFreq(uBand[i]->value());
    FSettings->SetEQRange(uRange->value());
  }
  accept();
}
