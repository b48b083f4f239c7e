// The meter widget over a real meter: what it says in words, and why it is idle.
#include "audio/level_meter.h"
#include "ui_common/level_meter_widget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(TLevelMeterWidgetTest, SaysLevelsLoudnessAndTruePeakOrWhyItIsIdle)
{
  TLevelMeterWidget Widget;
  Widget.SetIdleText(QStringLiteral("No sound server is running, so the meters are idle."));
  EXPECT_EQ(Widget.ValueText(), Widget.IdleText());

  vexmo::audio::TLevelMeter Meter(48000, 2);
  std::vector<float> Block(480 * 2);
  Widget.SetMeter(&Meter);
  for (int n = 0; n < 100; ++n) {
    for (size_t i = 0; i < 480; ++i)
      Block[2 * i] = Block[2 * i + 1] =
          float(0.5 * std::sin(2 * M_PI * 1000 * double(n * 480 + i) / 48000));
    Meter.Process(Block.data(), 480);
    if (n % 3 == 0)
      Widget.Poll();
  }
  Widget.Poll();
  const QString Text = Widget.ValueText();
  EXPECT_TRUE(Text.contains(QStringLiteral("TP -6.0 dBTP"))) << Text.toStdString();
  EXPECT_TRUE(Text.contains(QStringLiteral("M -6.0 LUFS"))) << Text.toStdString();
  Widget.SetMeter(nullptr);
  EXPECT_EQ(Widget.ValueText(), Widget.IdleText());
}
