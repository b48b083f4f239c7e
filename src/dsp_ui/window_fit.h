// Window sizes for the desktop's font: the layouts were designed for a smaller font than Linux
// desktops use, and plug-in names are long.
#pragma once

class QAbstractItemView;
class QWidget;

// Widens AWindow so that the widest row of AView shows whole, up to two thirds of the screen's
// width. A window that is wide enough already keeps its size.
void WidenToFitRows(QWidget* AWindow, QAbstractItemView* AView);
