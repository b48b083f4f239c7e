// Sizes and placement that depend on the monitor showing the program.
//
// Window layouts are written in 96-DPI units; ScaleForDpi turns such a size into one for the
// logical DPI of the monitor that shows the main window (Qt already applies the device pixel
// ratio, so this only grows sizes when the desktop asks for larger fonts, e.g. a font DPI of
// 120).
#pragma once

#include <QtGlobal>
#include <functional>

class QScreen;
class QWidget;

// The window whose monitor counts; until one is set (or after it is gone) the primary screen
// counts. The main window sets itself when it is created.
void SetDpiMainWindow(QWidget* AWindow);

// The logical DPI of the monitor that shows the main window; 96 when there is no screen at all.
// A monitor's value is kept for 30 seconds; one timestamp serves every monitor, so reading any
// monitor again starts the 30 seconds anew for all of them.
int MonitorDpi();
// ASize × MonitorDpi() / 96, rounded to nearest (halves away from zero).
int ScaleForDpi(int ASize);

// A window that no monitor shows (placed on a monitor that is no longer connected) is centred
// on the primary screen; a window on any monitor stays where it is.
void CenterIfOffScreen(QWidget* AForm);

// Tests: how a monitor's DPI is read, and the clock in milliseconds; empty restores the real
// ones. Both also empty the cache.
using TDpiReader = std::function<int(QScreen* AScreen)>;
void SetDpiReaderForTesting(TDpiReader AReader);
void SetDpiClockForTesting(std::function<qint64()> AClock);
