#include "dsp_ui/input_box.h"

#include <QInputDialog>

namespace {

TInputBoxHandler& Handler()
{
  static TInputBoxHandler Instance;
  return Instance;
}

// open() and a callback rather than exec(): the window that asked may close meanwhile, and a
// nested event loop would run its destruction under our feet.
void ShowInputDialog(QWidget* AParent, const QString& ACaption, const QString& APrompt,
                     const QString& ADefault, TInputDone ADone)
{
  auto* Dialog = new QInputDialog(AParent);
  Dialog->setAttribute(Qt::WA_DeleteOnClose);
  Dialog->setWindowTitle(ACaption);
  Dialog->setLabelText(APrompt);
  Dialog->setTextValue(ADefault);
  Dialog->setInputMode(QInputDialog::TextInput);
  QObject::connect(Dialog, &QInputDialog::textValueSelected, Dialog,
                   [Done = std::move(ADone)](const QString& AValue) {
                     if (Done)
                       Done(AValue);
                   });
  Dialog->open();
}

} // namespace

void InputBox(QWidget* AParent, const QString& ACaption, const QString& APrompt,
              const QString& ADefault, TInputDone ADone)
{
  if (Handler())
    Handler()(AParent, ACaption, APrompt, ADefault, std::move(ADone));
  else
    ShowInputDialog(AParent, ACaption, APrompt, ADefault, std::move(ADone));
}

TInputBoxHandler SetInputBoxHandler(TInputBoxHandler AHandler)
{
  TInputBoxHandler Previous = std::move(Handler());
  Handler() = std::move(AHandler);
  return Previous;
}
