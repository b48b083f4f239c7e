#include "dsp_ui/kel_confirm_check_box.h"

#include <QPointer>

TKelConfirmCheckBox::TKelConfirmCheckBox(QWidget* AParent) : QCheckBox(AParent) {}

TKelConfirmCheckBox::TKelConfirmCheckBox(const QString& AText, QWidget* AParent)
    : QCheckBox(AText, AParent)
{}

void TKelConfirmCheckBox::nextCheckState()
{
  bool Allow = true;
  if (FOnBeforeChange) {
    // The handler may show a box that runs the event loop; the check box may be gone after it.
    QPointer<TKelConfirmCheckBox> Guard(this);
    FOnBeforeChange(this, Allow);
    if (!Guard)
      return;
  }
  if (Allow)
    QCheckBox::nextCheckState();
}
