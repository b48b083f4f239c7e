// Drop-down menus that open below the button that shows them (preset buttons and the like).
#pragma once

class QMenu;
class QWidget;

// Opens AMenu at the bottom-left corner of AButton and returns when the menu has closed. A call
// within 100 ms of the last such menu closing does nothing: it is the same click that closed
// the menu reaching the button.
void PopupBelowButton(QWidget* AButton, QMenu* AMenu);
