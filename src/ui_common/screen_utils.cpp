#include "ui_common/screen_utils.h"

#include "base/utils.h"

#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace {

constexpr qint64 CDpiCacheMs = 30000;

struct TDpiState
{
  QPointer<QWidget> MainWindow;
  QHash<QScreen*, int> Cache;
  qint64 Stamp = 0;
  TDpiReader Reader;
  std::function<qint64()> Clock;
  bool WatchingScreens = false;
};

TDpiState& State()
{
  static TDpiState Instance;
  return Instance;
}

int ReadScreenDpi(QScreen* AScreen)
{
  return int(std::lround(AScreen->logicalDotsPerInch()));
}

qint64 Now()
{
  const TDpiState& S = State();
  return S.Clock ? S.Clock() : TickCount64();
}

// A screen that goes away must not leave its pointer in the cache, where a new screen could
// later get the same address.
void WatchScreens()
{
  TDpiState& S = State();
  if (S.WatchingScreens || !qGuiApp)
    return;
  S.WatchingScreens = true;
  QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, qGuiApp,
                   [](QScreen* AScreen) { State().Cache.remove(AScreen); });
}

} // namespace

void SetDpiMainWindow(QWidget* AWindow)
{
  State().MainWindow = AWindow;
}

int MonitorDpi()
{
  TDpiState& S = State();
  QScreen* Screen = nullptr;
  if (S.MainWindow)
    Screen = S.MainWindow->screen();
  if (!Screen)
    Screen = QGuiApplication::primaryScreen();
  if (!Screen)
    return 96;
  WatchScreens();
  const qint64 Time = Now();
  if (Time - S.Stamp <= CDpiCacheMs) {
    const auto Found = S.Cache.constFind(Screen);
    if (Found != S.Cache.constEnd())
      return *Found;
  }
  const int Dpi = S.Reader ? S.Reader(Screen) : ReadScreenDpi(Screen);
  S.Cache.insert(Screen, Dpi);
  S.Stamp = Time;
  return Dpi;
}

int ScaleForDpi(int ASize)
{
  const qint64 Product = qint64(ASize) * MonitorDpi();
  return int(Product >= 0 ? (Product + 48) / 96 : (Product - 48) / 96);
}

void CenterIfOffScreen(QWidget* AForm)
{
  if (!AForm)
    return;
  const QRect Frame = AForm->frameGeometry();
  for (QScreen* Screen : QGuiApplication::screens())
    if (Screen->geometry().intersects(Frame))
      return;
  QScreen* Primary = QGuiApplication::primaryScreen();
  if (!Primary)
    return;
  const QRect Area = Primary->geometry();
  AForm->move(Area.x() + (Area.width() - Frame.width()) / 2,
              Area.y() + (Area.height() - Frame.height()) / 2);
}

void SetDpiReaderForTesting(TDpiReader AReader)
{
  State().Reader = std::move(AReader);
  State().Cache.clear();
  State().Stamp = 0;
}

void SetDpiClockForTesting(std::function<qint64()> AClock)
{
  State().Clock = std::move(AClock);
  State().Cache.clear();
  State().Stamp = 0;
}
