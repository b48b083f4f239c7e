#include "ui_common/popup_menu.h"

#include "base/utils.h"

#include <QMenu>
#include <QWidget>

namespace {
qint64 GLastClosed = 0;
constexpr qint64 CDebounceMs = 100;
} // namespace

void PopupBelowButton(QWidget* AButton, QMenu* AMenu)
{
  if (!AButton || !AMenu)
    return;
  if (GLastClosed != 0 && TickCount64() - GLastClosed <= CDebounceMs)
    return;
  AMenu->exec(AButton->mapToGlobal(QPoint(0, AButton->height())));
  GLastClosed = TickCount64();
}
