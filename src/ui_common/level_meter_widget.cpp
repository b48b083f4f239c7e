#include "ui_common/level_meter_widget.h"

#include "audio/level_meter.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

using vexmo::audio::TLevelMeter;

namespace {

constexpr float FloorDb = -60.0f;

// 0..1 across the bar for a level in dB.
double Fraction(float ADb)
{
  if (!(ADb > FloorDb))
    return 0;
  return std::min(1.0, static_cast<double>((ADb - FloorDb) / -FloorDb));
}

QString Db(float AValue, const char* AUnit)
{
  if (!std::isfinite(AValue))
    return QStringLiteral("-inf %1").arg(QLatin1String(AUnit)).trimmed();
  // The program's own number form, whatever the locale.
  return QStringLiteral("%1 %2")
      .arg(QString::number(AValue, 'f', 1), QLatin1String(AUnit))
      .trimmed();
}

} // namespace

TLevelMeterWidget::TLevelMeterWidget(QWidget* AParent) : QWidget(AParent)
{
  setAccessibleName(QStringLiteral("Level meter"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  FTimer.setInterval(33);
  connect(&FTimer, &QTimer::timeout, this, &TLevelMeterWidget::Poll);
  std::fill(std::begin(FPeakDb), std::end(FPeakDb), -INFINITY);
  std::fill(std::begin(FRmsDb), std::end(FRmsDb), -INFINITY);
  std::fill(std::begin(FHoldDb), std::end(FHoldDb), -INFINITY);
  std::fill(std::begin(FClip), std::end(FClip), false);
}

void TLevelMeterWidget::SetMeter(TLevelMeter* AMeter)
{
  FMeter = AMeter;
  FChans = 0;
  FMomentary = FShortTerm = FTruePeak = FTruePeakNext = -INFINITY;
  if (FMeter)
    FTimer.start();
  else
    FTimer.stop();
  setAccessibleDescription(ValueText());
  update();
}

void TLevelMeterWidget::SetIdleText(const QString& AText)
{
  FIdleText = AText;
  setAccessibleDescription(ValueText());
  update();
}

void TLevelMeterWidget::Poll()
{
  if (!FMeter)
    return;
  const TLevelMeter::TReading reading = FMeter->Read();
  FChans = std::min(reading.Chans, 8u);
  for (unsigned c = 0; c < FChans; ++c) {
    // Between two readings with no audio (a stalled channel) the bar falls, it does not freeze.
    FPeakDb[c] = reading.PeakDb[c];
    FRmsDb[c] = reading.RmsDb[c];
    FHoldDb[c] = reading.HoldDb[c];
    FClip[c] = reading.Clip[c];
  }
  FMomentary = reading.MomentaryLufs;
  FShortTerm = reading.ShortTermLufs;
  // The true peak is shown as the highest of about the last second, so that it can be read.
  FTruePeakNext = std::max(FTruePeakNext, reading.TruePeakDb);
  FTruePeak = std::max(FTruePeak, reading.TruePeakDb);
  if (++FPolls % 30 == 0) {
    FTruePeak = FTruePeakNext;
    FTruePeakNext = -INFINITY;
  }
  setAccessibleDescription(ValueText());
  update();
}

QString TLevelMeterWidget::ValueText() const
{
  if (!FMeter)
    return FIdleText;
  QStringList parts;
  for (unsigned c = 0; c < FChans; ++c)
    parts.append(QStringLiteral("%1%2").arg(Db(FPeakDb[c], "dBFS"),
                                            FClip[c] ? QStringLiteral(" (clipped)") : QString()));
  parts.append(QStringLiteral("M %1, S %2").arg(Db(FMomentary, "LUFS"), Db(FShortTerm, "LUFS")));
  if (std::isfinite(FTruePeak))
    parts.append(QStringLiteral("TP %1").arg(Db(FTruePeak, "dBTP")));
  return parts.join(QStringLiteral("; "));
}

QSize TLevelMeterWidget::sizeHint() const
{
  const int line = fontMetrics().height();
  return {200, line * 2 + 8};
}

void TLevelMeterWidget::paintEvent(QPaintEvent*)
{
  QPainter painter(this);
  const QRect area = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(area, palette().base());
  painter.setPen(palette().mid().color());
  painter.drawRect(area);
  if (!FMeter) {
    painter.setPen(palette().text().color());
    painter.drawText(area.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::TextWordWrap, FIdleText);
    return;
  }
  const int textHeight = fontMetrics().height();
  const QRect bars = area.adjusted(2, 2, -2, -textHeight - 2);
  const unsigned chans = std::max(FChans, 1u);
  const int barHeight = std::max(1, bars.height() / static_cast<int>(chans));
  for (unsigned c = 0; c < FChans; ++c) {
    const QRect bar(bars.left(), bars.top() + static_cast<int>(c) * barHeight, bars.width(),
                    barHeight - 1);
    const int peak = static_cast<int>(bar.width() * Fraction(FPeakDb[c]));
    const int rms = static_cast<int>(bar.width() * Fraction(FRmsDb[c]));
    const int hold = static_cast<int>(bar.width() * Fraction(FHoldDb[c]));
    painter.fillRect(QRect(bar.left(), bar.top(), peak, bar.height()), QColor(90, 180, 90));
    painter.fillRect(QRect(bar.left(), bar.top(), rms, bar.height()), QColor(40, 130, 40));
    painter.setPen(QColor(230, 160, 20));
    painter.drawLine(bar.left() + hold, bar.top(), bar.left() + hold, bar.bottom());
    if (FClip[c])
      painter.fillRect(QRect(bar.right() - 5, bar.top(), 6, bar.height()), Qt::red);
  }
  painter.setPen(palette().text().color());
  // Numbers with one unit each, so that the line fits a narrow window.
  QString figures = QStringLiteral("M %1  S %2").arg(Db(FMomentary, ""), Db(FShortTerm, "LUFS"));
  if (std::isfinite(FTruePeak))
    figures += QStringLiteral("  TP %1").arg(Db(FTruePeak, "dBTP"));
  painter.drawText(area.adjusted(4, 0, -4, -1), Qt::AlignLeft | Qt::AlignBottom, figures);
}

void TLevelMeterWidget::mousePressEvent(QMouseEvent* AEvent)
{
  if (FMeter && AEvent->button() == Qt::LeftButton) {
    FMeter->ResetClip();
    Poll();
  }
  QWidget::mousePressEvent(AEvent);
}

QString LiveAudioStateText(DWORD AState, DWORD ADropped)
{
  switch (AState) {
  case BASS_STATE_NOSERVER:
    return QStringLiteral("No sound server is running; waiting for one.");
  case BASS_STATE_SERVERLOST:
    return QStringLiteral("The connection to the sound server was lost; reconnecting.");
  case BASS_STATE_DEVICELOST:
    return QStringLiteral("The microphone is gone (unplugged?); waiting for it to return.");
  case BASS_STATE_OVERRUN:
    return QStringLiteral("The chain is too slow for real time: %1 blocks of sound dropped.")
        .arg(ADropped);
  case BASS_STATE_UNDERRUN:
    return QStringLiteral("The output ran out of sound.");
  default:
    return QString();
  }
}

QString LiveAudioErrorText(int AErrorCode)
{
  switch (AErrorCode) {
  case BASS_OK:
    return QString();
  case BASS_ERROR_DRIVER:
  case BASS_ERROR_BUFLOST:
    return QStringLiteral("No sound server is running, so the meters are idle.");
  case BASS_ERROR_DEVICE:
    return QStringLiteral(
        "The microphone chosen in the settings is not there, so the meters are idle.");
  case BASS_ERROR_TIMEOUT:
    return QStringLiteral("The sound server does not answer, so the meters are idle.");
  default:
    return QStringLiteral("The microphone could not be opened (error %1), so the meters are idle.")
        .arg(AErrorCode);
  }
}
