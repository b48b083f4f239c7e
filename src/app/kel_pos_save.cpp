#include "app/kel_pos_save.h"

#include "base/ini_file.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#ifdef VEXMO_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <xcb/xcb.h>
#endif

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

// The frame's edges as the window manager announces them on an X11 desktop, read from the
// server: the toolkit's own figure can be taken while the window is still being reparented and
// then stays wrong. Null when not known (no window manager, not yet framed). AOnX11 tells
// whether the desktop is one where this is the only figure to trust.
QMargins AnnouncedFrame(QWidget* AWindow, bool& AOnX11)
{
  AOnX11 = false;
#ifdef VEXMO_HAVE_XCB
  auto* X11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!X11 || !X11->connection())
    return {};
  AOnX11 = true;
  if (!AWindow->testAttribute(Qt::WA_WState_Created))
    return {};
  xcb_connection_t* Connection = X11->connection();
  static const char CName[] = "_NET_FRAME_EXTENTS";
  xcb_intern_atom_reply_t* Atom = xcb_intern_atom_reply(
      Connection, xcb_intern_atom(Connection, 1, sizeof(CName) - 1, CName), nullptr);
  if (!Atom)
    return {};
  const xcb_atom_t Extents = Atom->atom;
  std::free(Atom);
  if (Extents == XCB_ATOM_NONE)
    return {};
  xcb_get_property_reply_t* Reply =
      xcb_get_property_reply(Connection,
                             xcb_get_property(Connection, 0, xcb_window_t(AWindow->winId()),
                                              Extents, XCB_ATOM_CARDINAL, 0, 4),
                             nullptr);
  QMargins Result;
  if (Reply && Reply->format == 32 && xcb_get_property_value_length(Reply) == 16) {
    const auto* Values = static_cast<const quint32*>(xcb_get_property_value(Reply));
    // Left, right, top, bottom.
    Result = QMargins(int(Values[0]), int(Values[2]), int(Values[1]), int(Values[3]));
  }
  std::free(Reply);
  return Result;
#else
  Q_UNUSED(AWindow);
  return {};
#endif
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
  bool OnX11 = false;
  QMargins Edges = AnnouncedFrame(F, OnX11);
  if (!OnX11) {
    const QRect Outer = F->frameGeometry();
    Edges = QMargins(Client.left() - Outer.left(), Client.top() - Outer.top(),
                     Outer.right() - Client.right(), Outer.bottom() - Client.bottom());
  }
  // Without a frame there is nothing to do yet (or, with no window manager, ever). While the
  // window manager is still reparenting the window, the toolkit can report edges that make no
  // sense; they are not the frame either.
  if (Edges.isNull() || Edges.left() < 0 || Edges.top() < 0 || Edges.right() < 0 ||
      Edges.bottom() < 0)
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
