// Sizes of the value controls are written for a 96-DPI screen, like the window layouts that use
// them; this scales such a size to the logical DPI of the screen a widget is on.
#pragma once

class QWidget;

// ASize (in 96-DPI units) at the logical DPI of AWidget's screen, rounded to nearest. Without a
// widget or a screen the primary screen is used, and without any screen ASize is returned.
int ScaleFrom96Dpi(const QWidget* AWidget, int ASize);
