#include "ui_common/message_box_ui.h"

#include "base/message_box.h"
#include "base/utils.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>

namespace {

// A whole error page from a server can arrive as a message; the box shows its beginning and
// keeps all of it under "Show Details...", so that the box never grows past the screen.
constexpr int CMaxShownText = 1500;

QList<QMessageBox::StandardButton> ButtonOrder(int AFlags)
{
  switch (AFlags & MB_TYPEMASK) {
  case MB_OKCANCEL:
    return {QMessageBox::Ok, QMessageBox::Cancel};
  case 2:
    return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
  case 3:
    return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
  case MB_YESNO:
    return {QMessageBox::Yes, QMessageBox::No};
  case 5:
    return {QMessageBox::Retry, QMessageBox::Cancel};
  default:
    return {QMessageBox::Ok};
  }
}

} // namespace

QMessageBox::Icon MessageBoxIconForFlags(int AFlags)
{
  switch (AFlags & MB_ICONMASK) {
  case MB_ICONERROR:
    return QMessageBox::Critical;
  case MB_ICONQUESTION:
    return QMessageBox::Question;
  case MB_ICONWARNING:
    return QMessageBox::Warning;
  case MB_ICONINFORMATION:
    return QMessageBox::Information;
  default:
    return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons MessageBoxButtonsForFlags(int AFlags)
{
  QMessageBox::StandardButtons Buttons;
  for (QMessageBox::StandardButton Button : ButtonOrder(AFlags))
    Buttons |= Button;
  return Buttons;
}

int MessageBoxResultForButton(QMessageBox::StandardButton AButton)
{
  switch (AButton) {
  case QMessageBox::Ok:
    return IDOK;
  case QMessageBox::Cancel:
    return IDCANCEL;
  case QMessageBox::Abort:
    return 3;
  case QMessageBox::Retry:
    return 4;
  case QMessageBox::Ignore:
    return 5;
  case QMessageBox::Yes:
    return IDYES;
  case QMessageBox::No:
    return IDNO;
  default:
    return 0;
  }
}

namespace {

// A box must not show the busy cursor of the work that raised it: the cursors set over the
// application are lifted while the box is up and put back in their order afterwards.
class TOverrideCursorsLifted
{
public:
  TOverrideCursorsLifted()
  {
    while (const QCursor* Cursor = QApplication::overrideCursor()) {
      FShapes.prepend(Cursor->shape());
      QApplication::restoreOverrideCursor();
    }
  }
  ~TOverrideCursorsLifted()
  {
    for (const Qt::CursorShape Shape : FShapes)
      QApplication::setOverrideCursor(Shape);
  }
  TOverrideCursorsLifted(const TOverrideCursorsLifted&) = delete;
  TOverrideCursorsLifted& operator=(const TOverrideCursorsLifted&) = delete;

private:
  QList<Qt::CursorShape> FShapes;
};

} // namespace

int ShowQtMessageBox(const QString& AText, const QString& ACaption, int AFlags)
{
  const TOverrideCursorsLifted Lifted;
  QWidget* Owner = QApplication::activeModalWidget();
  if (!Owner)
    Owner = QApplication::activeWindow();
  QMessageBox Box(Owner);
  Box.setWindowModality(Qt::ApplicationModal);
  Box.setWindowTitle(ACaption);
  Box.setIcon(MessageBoxIconForFlags(AFlags));
  // Texts come from servers and files: never let them be read as markup.
  Box.setTextFormat(Qt::PlainText);
  if (AText.size() > CMaxShownText) {
    Box.setText(AText.left(CMaxShownText) + QStringLiteral("…"));
    Box.setDetailedText(AText);
  } else {
    Box.setText(AText);
  }
  const QList<QMessageBox::StandardButton> Order = ButtonOrder(AFlags);
  for (QMessageBox::StandardButton Button : Order)
    Box.addButton(Button);
  // The default button number sits in bits 8 to 11 (0 = the first button).
  const int DefaultIndex = (AFlags >> 8) & 0x0F;
  Box.setDefaultButton(Order.value(DefaultIndex, Order.first()));
  Box.exec();
  const QMessageBox::StandardButton Pressed = Box.standardButton(Box.clickedButton());
  const int Result = MessageBoxResultForButton(Pressed);
  return Result != 0 ? Result : DefaultMessageBoxAnswer(AFlags);
}

bool OpenFolderWithDesktop(const QString& AFolder)
{
  return QDesktopServices::openUrl(QUrl::fromLocalFile(AFolder));
}

void InstallUiHandlers()
{
  SetMessageBoxHandler(ShowQtMessageBox);
  SetOpenFolderHandler(OpenFolderWithDesktop);
}
