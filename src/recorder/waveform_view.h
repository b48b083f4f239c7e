// The take's waveform: drawn from the min/max overview (so a long take draws as fast as a short
// one), with two trim handles, the play position, and a click that chooses where playback starts.
// It counts in frames; the window tells it the take's length and rate.
#pragma once

#include "recorder/wave_overview.h"

#include <QWidget>
#include <vector>

class TWaveformView : public QWidget
{
  Q_OBJECT

public:
  explicit TWaveformView(QWidget* AParent = nullptr);

  // The overview to draw (not owned) and, once the take is in memory, its samples for close
  // views; ATotal frames are shown across the width (while recording: what is there so far).
  void SetTake(const TWaveOverview* AOverview, const float* ASamples, int AChans, int64_t ATotal);
  int64_t Total() const { return FTotal; }

  // The kept range [start, end) shown between the handles.
  void SetTrim(int64_t AStart, int64_t AEnd);
  int64_t TrimStart() const { return FTrimStart; }
  int64_t TrimEnd() const { return FTrimEnd; }
  bool HandlesShown() const { return FHandles; }
  void SetHandlesShown(bool AValue);

  // Where playback starts (a click sets it), and the playing position (-1: not playing).
  int64_t Cursor() const { return FCursor; }
  void SetCursor(int64_t AFrame);
  void SetPlayPosition(int64_t AFrame);

  // Frame under a pixel column and back.
  int64_t FrameAt(int AX) const;
  int XOf(int64_t AFrame) const;

  QSize sizeHint() const override { return {600, 140}; }
  QSize minimumSizeHint() const override { return {200, 60}; }

Q_SIGNALS:
  void TrimChanged(qint64 AStart, qint64 AEnd);
  void CursorChanged(qint64 AFrame);

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;

private:
  enum class TDrag
  {
    None,
    Start,
    End
  };

  const TWaveOverview* FOverview = nullptr;
  const float* FSamples = nullptr;
  int FChans = 1;
  int64_t FTotal = 0;
  int64_t FTrimStart = 0;
  int64_t FTrimEnd = 0;
  int64_t FCursor = 0;
  int64_t FPlay = -1;
  bool FHandles = false;
  TDrag FDrag = TDrag::None;
  std::vector<TMinMax> FColumns; // kept between paints: no allocation per frame
};
