#include "recorder/waveform_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int CHandleGrip = 6; // pixels either side of a handle that pick it up

} // namespace

TWaveformView::TWaveformView(QWidget* AParent) : QWidget(AParent)
{
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleName(QStringLiteral("Waveform of the take"));
  setAccessibleDescription(
      QStringLiteral("Click to choose where playback starts; Home and End move the start and end "
                     "handles to the cursor"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TWaveformView::SetTake(const TWaveOverview* AOverview, const float* ASamples, int AChans,
                            int64_t ATotal)
{
  FOverview = AOverview;
  FSamples = ASamples;
  FChans = std::max(AChans, 1);
  FTotal = std::max<int64_t>(ATotal, 0);
  FTrimStart = std::clamp<int64_t>(FTrimStart, 0, FTotal);
  FTrimEnd = std::clamp<int64_t>(FTrimEnd, FTrimStart, FTotal);
  FCursor = std::clamp<int64_t>(FCursor, 0, FTotal);
  update();
}

void TWaveformView::SetTrim(int64_t AStart, int64_t AEnd)
{
  AStart = std::clamp<int64_t>(AStart, 0, FTotal);
  AEnd = std::clamp<int64_t>(AEnd, AStart, FTotal);
  if (AStart == FTrimStart && AEnd == FTrimEnd)
    return;
  FTrimStart = AStart;
  FTrimEnd = AEnd;
  update();
  Q_EMIT TrimChanged(FTrimStart, FTrimEnd);
}

void TWaveformView::SetHandlesShown(bool AValue)
{
  FHandles = AValue;
  update();
}

void TWaveformView::SetCursor(int64_t AFrame)
{
  AFrame = std::clamp<int64_t>(AFrame, 0, FTotal);
  if (AFrame == FCursor)
    return;
  FCursor = AFrame;
  update();
  Q_EMIT CursorChanged(FCursor);
}

void TWaveformView::SetPlayPosition(int64_t AFrame)
{
  if (AFrame != FPlay) {
    FPlay = AFrame;
    update();
  }
}

int64_t TWaveformView::FrameAt(int AX) const
{
  if (width() <= 0 || FTotal <= 0)
    return 0;
  return std::clamp<int64_t>(int64_t(std::llround(double(AX) * double(FTotal) / width())), 0,
                             FTotal);
}

int TWaveformView::XOf(int64_t AFrame) const
{
  if (FTotal <= 0)
    return 0;
  return int(std::lround(double(AFrame) * width() / double(FTotal)));
}

void TWaveformView::paintEvent(QPaintEvent*)
{
  QPainter P(this);
  const QPalette& Pal = palette();
  P.fillRect(rect(), Pal.color(QPalette::Base));
  const int W = width(), H = height();
  const double Mid = H / 2.0;
  P.setPen(Pal.color(QPalette::Mid));
  P.drawLine(0, int(Mid), W, int(Mid));
  if (!FOverview || FTotal <= 0 || W <= 0)
    return;

  FOverview->Columns(0, double(FTotal) / W, W, FColumns, FSamples, FChans);
  const QColor Wave = Pal.color(QPalette::Highlight);
  const QColor Dim = Pal.color(QPalette::Mid);
  const int Left = FHandles ? XOf(FTrimStart) : 0;
  const int Right = FHandles ? XOf(FTrimEnd) : W;
  for (int X = 0; X < W; ++X) {
    const TMinMax& M = FColumns[size_t(X)];
    if (M.Min == 0.0f && M.Max == 0.0f)
      continue;
    const int Y1 = int(Mid - std::clamp(M.Max, -1.0f, 1.0f) * Mid);
    const int Y2 = int(Mid - std::clamp(M.Min, -1.0f, 1.0f) * Mid);
    P.setPen(X >= Left && X < Right ? Wave : Dim);
    P.drawLine(X, Y1, X, std::max(Y1, Y2));
  }
  if (FHandles) {
    P.setPen(QPen(Pal.color(QPalette::Text), 2));
    P.drawLine(Left, 0, Left, H);
    P.drawLine(Right, 0, Right, H);
  }
  P.setPen(QPen(Pal.color(QPalette::Text), 1, Qt::DashLine));
  P.drawLine(XOf(FCursor), 0, XOf(FCursor), H);
  if (FPlay >= 0) {
    P.setPen(QPen(QColor(0xd0, 0x30, 0x30), 1));
    P.drawLine(XOf(FPlay), 0, XOf(FPlay), H);
  }
  if (hasFocus()) {
    P.setPen(QPen(Pal.color(QPalette::Highlight), 1, Qt::DotLine));
    P.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TWaveformView::mousePressEvent(QMouseEvent* AEvent)
{
  if (AEvent->button() != Qt::LeftButton || FTotal <= 0)
    return;
  const int X = int(AEvent->position().x());
  if (FHandles && std::abs(X - XOf(FTrimStart)) <= CHandleGrip)
    FDrag = TDrag::Start;
  else if (FHandles && std::abs(X - XOf(FTrimEnd)) <= CHandleGrip)
    FDrag = TDrag::End;
  else
    SetCursor(FrameAt(X));
}

void TWaveformView::mouseMoveEvent(QMouseEvent* AEvent)
{
  const int64_t Frame = FrameAt(int(AEvent->position().x()));
  if (FDrag == TDrag::Start)
    SetTrim(std::min(Frame, FTrimEnd), FTrimEnd);
  else if (FDrag == TDrag::End)
    SetTrim(FTrimStart, std::max(Frame, FTrimStart));
}

void TWaveformView::mouseReleaseEvent(QMouseEvent*)
{
  FDrag = TDrag::None;
}

void TWaveformView::keyPressEvent(QKeyEvent* AEvent)
{
  // Arrows move the cursor by a hundredth of the take (with Shift: a tenth), at least a frame.
  const int64_t Step =
      std::max<int64_t>(1, FTotal / (AEvent->modifiers() & Qt::ShiftModifier ? 10 : 100));
  switch (AEvent->key()) {
  case Qt::Key_Left:
    SetCursor(FCursor - Step);
    break;
  case Qt::Key_Right:
    SetCursor(FCursor + Step);
    break;
  case Qt::Key_Home:
    if (FHandles)
      SetTrim(std::min(FCursor, FTrimEnd), FTrimEnd);
    break;
  case Qt::Key_End:
    if (FHandles)
      SetTrim(FTrimStart, std::max(FCursor, FTrimStart));
    break;
  default:
    QWidget::keyPressEvent(AEvent);
  }
}
