#include "base/utils.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <time.h>

namespace {

QMutex GOpenFolderLock;
TOpenFolderHandler GOpenFolderHandler;

bool IsBlankOrControl(QChar AChar)
{
  // What the classic Trim removes: blanks and every control character.
  return AChar.unicode() <= ' ';
}

// QProcess prefixes the system's error text with the failing call ("execv: No such file or
// directory"); callers show the system's own text.
QString SystemErrorText(const QString& AProcessError)
{
  const qsizetype Colon = AProcessError.lastIndexOf(QLatin1String(": "));
  return Colon < 0 ? AProcessError : AProcessError.mid(Colon + 2);
}

} // namespace

void RunCommandLine(const QString& ACommandLine, qint64* AProcessId, QString& AError)
{
  qsizetype First = 0;
  qsizetype Last = ACommandLine.size() - 1;
  while (First <= Last && IsBlankOrControl(ACommandLine[First]))
    ++First;
  while (Last >= First && IsBlankOrControl(ACommandLine[Last]))
    --Last;
  if (First > Last)
    return;

  AError.clear();
  if (AProcessId)
    *AProcessId = 0;
  QStringList Arguments = QProcess::splitCommand(ACommandLine);
  if (Arguments.isEmpty() || Arguments.first().isEmpty()) {
    // Only quotes: there is no program to look for.
    AError = QString::fromLocal8Bit(strerror(ENOENT));
    return;
  }
  // The usual failures are found before the start, so that their text is the system's own in
  // the user's language (QProcess words some of them itself, in English).
  const QString Program = Arguments.first();
  if (Program.contains(QLatin1Char('/'))) {
    const QFileInfo Info(Program);
    if (!Info.exists()) {
      AError = QString::fromLocal8Bit(strerror(ENOENT));
      return;
    }
    if (Info.isDir() || !Info.isExecutable()) {
      AError = QString::fromLocal8Bit(strerror(EACCES));
      return;
    }
  } else if (QStandardPaths::findExecutable(Program).isEmpty()) {
    AError = QString::fromLocal8Bit(strerror(ENOENT));
    return;
  }
  QProcess Process;
  Process.setProgram(Arguments.takeFirst());
  Process.setArguments(Arguments);
  qint64 ProcessId = 0;
  if (!Process.startDetached(&ProcessId)) {
    AError = SystemErrorText(Process.errorString());
    return;
  }
  if (AProcessId)
    *AProcessId = ProcessId;
}

TOpenFolderHandler SetOpenFolderHandler(TOpenFolderHandler AHandler)
{
  QMutexLocker Lock(&GOpenFolderLock);
  TOpenFolderHandler Previous = std::move(GOpenFolderHandler);
  GOpenFolderHandler = std::move(AHandler);
  return Previous;
}

bool OpenFolderInFileManager(const QString& AFolder)
{
  TOpenFolderHandler Handler;
  {
    QMutexLocker Lock(&GOpenFolderLock);
    Handler = GOpenFolderHandler;
  }
  if (Handler)
    return Handler(AFolder);
  return QProcess::startDetached(QStringLiteral("xdg-open"), {AFolder});
}

bool CreateFolderElevated(const QString& AFolder)
{
  if (AFolder.isEmpty())
    return false;
  return QDir().mkpath(AFolder);
}

QString StripFileNameChars(const QString& AText)
{
  QString Result;
  Result.reserve(AText.size());
  for (QChar Char : AText) {
    switch (Char.unicode()) {
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
      break;
    default:
      Result.append(Char);
    }
  }
  return Result;
}

bool IsUrl(const QString& AText)
{
  for (const char* Scheme : {"http://", "ftp://", "mms://", "https://"}) {
    if (AText.startsWith(QLatin1String(Scheme), Qt::CaseInsensitive))
      return true;
  }
  return false;
}

QString FileDisplayName(const QString& APath, bool AKeepFolder)
{
  if (IsUrl(APath))
    return APath;
  const qsizetype NameStart =
      qMax(APath.lastIndexOf(QLatin1Char('/')), APath.lastIndexOf(QLatin1Char('\\'))) + 1;
  const qsizetype Dot = APath.lastIndexOf(QLatin1Char('.'));
  const qsizetype End = Dot >= NameStart ? Dot : APath.size();
  return AKeepFolder ? APath.left(End) : APath.mid(NameStart, End - NameStart);
}

QString StripAmpersands(const QString& AText)
{
  QString Result = AText;
  Result.remove(QLatin1Char('&'));
  return Result;
}

qint64 TickCount64()
{
  // CLOCK_BOOTTIME keeps counting while the machine sleeps, like a tick count since start.
  timespec Now{};
  if (clock_gettime(CLOCK_BOOTTIME, &Now) != 0)
    clock_gettime(CLOCK_MONOTONIC, &Now);
  return qint64(Now.tv_sec) * 1000 + Now.tv_nsec / 1000000;
}
