#include "base/message_box.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QThread>

namespace {

QMutex GHandlerLock;
TMessageBoxHandler GHandler;

TMessageBoxHandler CurrentHandler()
{
  QMutexLocker Lock(&GHandlerLock);
  return GHandler;
}

int ShowNow(const QString& AText, const QString& ACaption, int AFlags)
{
  // Copied out of the lock so that a handler may itself install another one.
  const TMessageBoxHandler Handler = CurrentHandler();
  if (Handler)
    return Handler(AText, ACaption, AFlags);
  qWarning("Message box [%s]: %s", qUtf8Printable(ACaption), qUtf8Printable(AText));
  return DefaultMessageBoxAnswer(AFlags);
}

} // namespace

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler AHandler)
{
  QMutexLocker Lock(&GHandlerLock);
  TMessageBoxHandler Previous = std::move(GHandler);
  GHandler = std::move(AHandler);
  return Previous;
}

int DefaultMessageBoxAnswer(int AFlags)
{
  switch (AFlags & MB_TYPEMASK) {
  case MB_OK:
    return IDOK;
  case MB_YESNO:
    return IDNO;
  default:
    // Every other button set has a Cancel button (OK/Cancel, Yes/No/Cancel, Retry/Cancel, ...).
    return IDCANCEL;
  }
}

int MyMessageBox(const QString& AText, const QString& ACaption, int AFlags)
{
  QCoreApplication* App = QCoreApplication::instance();
  if (App && QThread::currentThread() != App->thread()) {
    // Posted events to one receiver are delivered in the order they were posted, which keeps
    // the boxes in call order. The lambda holds its own copies of the texts.
    QMetaObject::invokeMethod(
        App, [AText, ACaption, AFlags] { ShowNow(AText, ACaption, AFlags); }, Qt::QueuedConnection);
    return -1;
  }
  return ShowNow(AText, ACaption, AFlags);
}
