#include "recorder/level_meter_bar.h"

#include <QPainter>
#include <algorithm>

namespace {

constexpr float CFloorDb = -60.0f;
constexpr float CFallDbPerSecond = 24.0f;

double Fraction(float ADb)
{
  if (!std::isfinite(ADb) || ADb <= CFloorDb)
    return 0.0;
  return std::min(1.0, double(ADb - CFloorDb) / double(-CFloorDb));
}

} // namespace

TLevelMeterBar::TLevelMeterBar(QWidget* AParent) : QWidget(AParent)
{
  setAccessibleName(QStringLiteral("Input level"));
  setMinimumHeight(30);
  FSince.start();
}

void TLevelMeterBar::SetLevels(int AChans, const float* APeakDb, const float* AHoldDb,
                               const bool* AClip, float AShortTermLufs)
{
  FChans = std::clamp(AChans, 1, 2);
  const float Fall = float(FSince.restart()) / 1000.0f * CFallDbPerSecond;
  for (int C = 0; C < FChans; ++C) {
    const float Fallen = std::isfinite(FShown[C]) ? FShown[C] - Fall : -INFINITY;
    FShown[C] = std::max(APeakDb[C], Fallen < CFloorDb ? -INFINITY : Fallen);
    FHold[C] = AHoldDb[C];
    FClip[C] = AClip[C];
  }
  FShortTerm = AShortTermLufs;
  setAccessibleDescription(
      std::isfinite(FShortTerm)
          ? QStringLiteral("Short-term loudness %1 LUFS").arg(double(FShortTerm), 0, 'f', 1)
          : QStringLiteral("Silence"));
  update();
}

void TLevelMeterBar::Clear()
{
  FShown[0] = FShown[1] = FHold[0] = FHold[1] = -INFINITY;
  FClip[0] = FClip[1] = false;
  FShortTerm = -INFINITY;
  update();
}

void TLevelMeterBar::paintEvent(QPaintEvent*)
{
  QPainter P(this);
  const QPalette& Pal = palette();
  P.fillRect(rect(), Pal.color(QPalette::Base));
  const int TextW = fontMetrics().horizontalAdvance(QStringLiteral("-00.0 LUFS  ")) + 4;
  const int Lamp = 10;
  const int BarW = std::max(10, width() - TextW - Lamp - 8);
  const int RowH = std::max(4, (height() - 4) / FChans - 2);
  for (int C = 0; C < FChans; ++C) {
    const int Y = 2 + C * (RowH + 2);
    const int W = int(BarW * Fraction(FShown[C]));
    const QColor Colour = FShown[C] > -3.0f    ? QColor(0xd0, 0x30, 0x30)
                          : FShown[C] > -12.0f ? QColor(0xe0, 0xb0, 0x20)
                                               : QColor(0x30, 0xa0, 0x40);
    P.fillRect(2, Y, W, RowH, Colour);
    if (std::isfinite(FHold[C])) {
      const int X = 2 + int(BarW * Fraction(FHold[C]));
      P.fillRect(X, Y, 2, RowH, Pal.color(QPalette::Text));
    }
    P.fillRect(BarW + 6, Y, Lamp, RowH,
               FClip[C] ? QColor(0xff, 0x20, 0x20) : Pal.color(QPalette::Mid));
  }
  P.setPen(Pal.color(QPalette::Text));
  P.drawText(QRect(width() - TextW, 0, TextW, height()), Qt::AlignVCenter | Qt::AlignRight,
             std::isfinite(FShortTerm)
                 ? QStringLiteral("%1 LUFS").arg(double(FShortTerm), 0, 'f', 1)
                 : QStringLiteral("-- LUFS"));
}
