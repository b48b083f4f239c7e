#include "app/kel_pos_save.h"

#include "base/ini_file.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// The screen that shows the largest part of ARect; nullptr when none shows any of it.
QScreen* ScreenOf(const QRect& ARect)
{
  QScreen* Best = nullptr;
  qint64 BestArea = 0;
  for (QScreen* Screen : QGuiApplication::screens()) {
    const QRect Common = Screen->availableGeometry().intersected(ARect);
    const qint64 Area = qint64(Common.width()) * Common.height();
    if (Area > BestArea) {
      Best = Screen;
      BestArea = Area;
    }
  }
  return Best;
}

// ARect moved (and, where it is larger, shrunk) so that it lies inside AArea.
QRect FitInto(QRect ARect, const QRect& AArea)
{
  ARect.setWidth(qMin(ARect.width(), AArea.width()));
  ARect.setHeight(qMin(ARect.height(), AArea.height()));
  ARect.moveLeft(qBound(AArea.left(), ARect.left(), AArea.right() - ARect.width() + 1));
  ARect.moveTop(qBound(AArea.top(), ARect.top(), AArea.bottom() - ARect.height() + 1));
  return ARect;
}

} // namespace

TKelPosSave::TKelPosSave(QWidget* AOwner) : QObject(AOwner), F(AOwner)
{
  FFrameTimer.setInterval(50);
  connect(&FFrameTimer, &QTimer::timeout, this, [this] {
    if (F)
      FitFrame();
    // About three seconds: a window manager that frames nothing by then frames nothing.
    if (!FWatchingFrame || !F || ++FFrameChecks >= 60)
      FFrameTimer.stop();
  });
}

void TKelPosSave::RestorePos()
{
  if (!F)
    return;
  const TIniFile Ini(FIniFile);
  const QRect Current = F->geometry();
  const int X = Ini.ReadInteger(FKey, QStringLiteral("X"), Current.x());
  const int Y = Ini.ReadInteger(FKey, QStringLiteral("Y"), Current.y());
  int W = Ini.ReadInteger(FKey, QStringLiteral("W"), Current.width());
  int H = Ini.ReadInteger(FKey, QStringLiteral("H"), Current.height());
  const int S = Ini.ReadInteger(FKey, QStringLiteral("S"), 0);
  if (W <= 0 || H <= 0) {
    W = Current.width();
    H = Current.height();
  }
  // Without a stored position (the first start) the system places the window.
  const bool Placed =
      Ini.ValueExists(FKey, QStringLiteral("X")) && Ini.ValueExists(FKey, QStringLiteral("Y"));
  QRect Placement(X, Y, W, H);
  // A size stored on a larger screen (or a damaged file) must not put the title bar out of
  // reach. A window on no screen keeps its position, to be centred by the caller, but not a
  // size larger than the primary screen.
  QScreen* Screen = Placed ? ScreenOf(Placement) : nullptr;
  if (Screen) {
    Placement = FitInto(Placement, Screen->availableGeometry());
  } else if (QScreen* Primary = QGuiApplication::primaryScreen()) {
    const QSize Area = Primary->availableGeometry().size();
    Placement.setSize(Placement.size().boundedTo(Area));
  }
  F->setWindowState(F->windowState() &
                    ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
  // The client area's rectangle: its frame is only known once a window manager has framed the
  // window, so a position including the frame cannot be restored exactly before it is shown.
  if (Placed)
    F->setGeometry(Placement);
  else
    F->resize(Placement.size());
  if (S == 1) {
    // The rectangle is where it returns to when restored; it also picks the screen.
    F->setWindowState((F->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
  } else if (!FWatchingFrame) {
    // Once the frame is known, it too must fit on the screen.
    FRestored = Placed ? Placement : QRect();
    FWatchingFrame = true;
    F->installEventFilter(this);
    if (QWindow* Window = F->windowHandle())
      Window->installEventFilter(this);
  }
  FCanWrite = true;
}

bool TKelPosSave::eventFilter(QObject* AObject, QEvent* AEvent)
{
  if (FWatchingFrame && F) {
    // Until it is shown, the window moves only where the program puts it (centred, say).
    if (AObject == F && !F->isVisible() && FRestored.isValid() &&
        (AEvent->type() == QEvent::Move || AEvent->type() == QEvent::Resize))
      FRestored = F->geometry();
    // The window manager frames the window before it is first exposed; the widget itself hears
    // nothing of that when the client area stays where it was.
    if (AObject == F && AEvent->type() == QEvent::Show && F->windowHandle())
      F->windowHandle()->installEventFilter(this);
    if ((AObject == F || AObject == F->windowHandle()) &&
        (AEvent->type() == QEvent::Move || AEvent->type() == QEvent::Resize ||
         AEvent->type() == QEvent::Show || AEvent->type() == QEvent::Expose))
      FitFrame();
    // The frame may also become known without any event reaching the window: look again for a
    // while after it is shown.
    if (FWatchingFrame && AObject == F && AEvent->type() == QEvent::Show) {
      FFrameChecks = 0;
      FFrameTimer.start();
    }
  }
  return QObject::eventFilter(AObject, AEvent);
}

void TKelPosSave::FitFrame()
{
  if (!F->isVisible() ||
      (F->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
    return;
  const QRect Client = F->geometry();
  const QRect Outer = F->frameGeometry();
  const QMargins Edges(Client.left() - Outer.left(), Client.top() - Outer.top(),
                       Outer.right() - Client.right(), Outer.bottom() - Client.bottom());
  // Without a frame there is nothing to do yet (or, with no window manager, ever).
  if (Edges.isNull())
    return;
  FWatchingFrame = false;
  FFrameTimer.stop();
  F->removeEventFilter(this);
  if (QWindow* Window = F->windowHandle())
    Window->removeEventFilter(this);
  // Where the client area was put, not where it stands now: the window manager may still be
  // moving it into place.
  const QRect Frame = (FRestored.isValid() ? FRestored : Client).marginsAdded(Edges);
  QScreen* Screen = ScreenOf(Frame);
  if (!Screen)
    return;
  const QRect Area = Screen->availableGeometry();
  if (Area.contains(Frame))
    return;
  F->setGeometry(FitInto(Frame, Area).marginsRemoved(Edges));
}

void TKelPosSave::SavePos()
{
  if (!F || !FCanWrite || FIniFile.isEmpty())
    return;
  // A maximised window keeps the rectangle it returns to; it also tells on which screen it was.
  QRect Placement = F->geometry();
  int S = 0;
  if (F->isMaximized()) {
    const QRect Normal = F->normalGeometry();
    if (Normal.isValid())
      Placement = Normal;
    S = 1;
  }
  TIniFile Ini(FIniFile);
  // Each write reports its own failure; a placement that cannot be kept is not worth a word.
  Ini.WriteInteger(FKey, QStringLiteral("X"), Placement.x());
  Ini.WriteInteger(FKey, QStringLiteral("Y"), Placement.y());
  Ini.WriteInteger(FKey, QStringLiteral("W"), Placement.width());
  Ini.WriteInteger(FKey, QStringLiteral("H"), Placement.height());
  Ini.WriteInteger(FKey, QStringLiteral("S"), S);
}
