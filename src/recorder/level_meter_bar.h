// The recorder's level display: one bar per channel with the peak, a hold mark
// and a clip lamp, and the short-term loudness as text. It draws what the
// window hands it ten to sixty times a second; the bars fall by elapsed time,
// not by calls.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cmath>

class TLevelMeterBar : public QWidget
{
  Q_OBJECT

public:
  explicit TLevelMeterBar(QWidget* AParent = nullptr);

  // Peaks (dBFS) per channel (1 or 2), hold and clip, and short-term loudness
  // (LUFS).
  void SetLevels(int AChans, const float* APeakDb, const float* AHoldDb, const bool* AClip,
                 float AShortTermLufs);
  void Clear();
  float Shown(int AChan) const { return FShown[AChan]; }

  QSize sizeHint() const override { return {400, 44}; }

protected:
  void paintEvent(QPaintEvent* AEvent) override;

private:
  int FChans = 1;
  float FShown[2] = {-INFINITY, -INFINITY};
  float FHold[2] = {-INFINITY, -INFINITY};
  bool FClip[2] = {false, false};
  float FShortTerm = -INFINITY;
  QElapsedTimer FSince;
};
