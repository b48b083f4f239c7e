#include "dsp_ui/dpi_units.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

int ScaleFrom96Dpi(const QWidget* AWidget, int ASize)
{
  QScreen* screen = AWidget ? AWidget->screen() : nullptr;
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  if (!screen)
    return ASize;
  const double dpi = screen->logicalDotsPerInchY();
  if (!(dpi > 0))
    return ASize;
  return static_cast<int>(std::lround(ASize * dpi / 96.0));
}
