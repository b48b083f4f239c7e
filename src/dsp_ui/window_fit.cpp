#include "dsp_ui/window_fit.h"

#include "ui_common/screen_utils.h"

#include <QAbstractItemView>
#include <QScreen>
#include <QWidget>
#include <algorithm>

void WidenToFitRows(QWidget* AWindow, QAbstractItemView* AView)
{
  if (!AWindow || !AView)
    return;
  const int Missing = AView->sizeHintForColumn(0) + ScaleForDpi(4) - AView->viewport()->width();
  if (Missing <= 0)
    return;
  int Width = AWindow->width() + Missing;
  if (const QScreen* Screen = AWindow->screen())
    Width = std::min(Width, Screen->availableGeometry().width() * 2 / 3);
  if (Width > AWindow->width())
    AWindow->resize(Width, AWindow->height());
}
