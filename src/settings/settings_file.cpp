#include "settings/settings_file.h"

#include "base/file_write.h"
#include "base/message_box.h"
#include "settings/settings_record.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Settings files are a few kilobytes; anything beyond this is not one and is not read into
// memory.
constexpr qint64 MaxSettingsFileSize = 64 * 1024 * 1024;

QString ErrorText(int AErrno)
{
  return QString::fromLocal8Bit(std::strerror(AErrno));
}

// Reads the whole file. Returns 0 or the errno of the failing step (EFBIG for a file too large
// to be a settings file).
int ReadWholeFile(const QString& AFileName, QByteArray& AData)
{
  const QByteArray Path = QFile::encodeName(AFileName);
  const int Fd = ::open(Path.constData(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0)
    return errno;
  struct stat Info;
  int Error = 0;
  if (::fstat(Fd, &Info) != 0)
    Error = errno;
  else if (S_ISDIR(Info.st_mode))
    Error = EISDIR;
  else if (Info.st_size > MaxSettingsFileSize)
    Error = EFBIG;
  AData.clear();
  char Buffer[65536];
  while (Error == 0) {
    const ssize_t Count = ::read(Fd, Buffer, sizeof Buffer);
    if (Count < 0) {
      if (errno != EINTR)
        Error = errno;
      continue;
    }
    if (Count == 0)
      break;
    AData.append(Buffer, Count);
    if (AData.size() > MaxSettingsFileSize)
      Error = EFBIG;
  }
  ::close(Fd);
  return Error;
}

struct TWriteResult
{
  int Errno = 0;
  QString Message;
};

QAtomicInteger<int> GTempCounter;

// Called before a file is written in place; a failure stops the write.
using TBeforeInPlace = std::function<TWriteResult()>;

TWriteResult WriteInPlace(const QString& AFileName, const QByteArray& APath,
                          const QByteArray& AData, TFileAccess AAccess, int ACreateError,
                          const TBeforeInPlace& ABeforeInPlace);

// Writes AData to a new file next to the target and renames it over the target. Where the
// folder refuses the new file but the target itself is writable, the data is written over the
// target in place, after ABeforeInPlace (when given) has made a crash half-way survivable.
TWriteResult WriteFileReplacing(const QString& AFileName, const QByteArray& AData,
                                TFileAccess AAccess, const TBeforeInPlace& ABeforeInPlace = {})
{
  // Replace the file a symbolic link points to, not the link.
  QString Target = AFileName;
  const QFileInfo TargetInfo(AFileName);
  if (TargetInfo.isSymLink() && TargetInfo.exists())
    Target = TargetInfo.canonicalFilePath();
  const QByteArray Path = QFile::encodeName(Target);

  auto Fail = [&](const char* AWhat, int AErrno) {
    return TWriteResult{
        AErrno,
        QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(AWhat), AFileName, ErrorText(AErrno))};
  };

  mode_t Mode = 0;
  bool KeepMode = false;
  struct stat Existing;
  if (AAccess == TFileAccess::OwnerOnly) {
    Mode = S_IRUSR | S_IWUSR;
    KeepMode = true;
  } else if (::stat(Path.constData(), &Existing) == 0) {
    Mode = Existing.st_mode & 07777;
    KeepMode = true;
  }

  QByteArray TempPath;
  int Fd = -1;
  for (int Attempt = 0; Fd < 0 && Attempt < 100; ++Attempt) {
    TempPath = Path + ".tmp-" + QByteArray::number(::getpid()) + '-' +
               QByteArray::number(GTempCounter.fetchAndAddRelaxed(1));
    // A new file is private until it has its final permissions.
    Fd = ::open(TempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                KeepMode ? S_IRUSR | S_IWUSR : 0666);
    if (Fd < 0 && errno != EEXIST) {
      const int CreateError = errno;
      if (!FolderRefusesNewFiles(CreateError))
        return Fail("Cannot create file", CreateError);
      return WriteInPlace(AFileName, Path, AData, AAccess, CreateError, ABeforeInPlace);
    }
  }
  if (Fd < 0)
    return Fail("Cannot create file", EEXIST);

  int Error = 0;
  if (KeepMode && ::fchmod(Fd, Mode) != 0)
    Error = errno;
  if (Error == 0)
    Error = WriteWhole(Fd, AData);
  // The new content must be on the disk before the name points to it.
  if (Error == 0 && ::fsync(Fd) != 0)
    Error = errno;
  if (::close(Fd) != 0 && Error == 0)
    Error = errno;
  if (Error != 0) {
    ::unlink(TempPath.constData());
    return Fail("Cannot write file", Error);
  }
  if (::rename(TempPath.constData(), Path.constData()) != 0) {
    Error = errno;
    ::unlink(TempPath.constData());
    return Fail("Cannot replace file", Error);
  }
  return {};
}

// The folder refused a new file (ACreateError): the target, when it exists and may be written,
// is overwritten in place instead.
TWriteResult WriteInPlace(const QString& AFileName, const QByteArray& APath,
                          const QByteArray& AData, TFileAccess AAccess, int ACreateError,
                          const TBeforeInPlace& ABeforeInPlace)
{
  auto Fail = [&](const char* AWhat, int AErrno) {
    return TWriteResult{
        AErrno,
        QStringLiteral("%1 \"%2\". %3").arg(QLatin1String(AWhat), AFileName, ErrorText(AErrno))};
  };
  // Without a writable target the folder's refusal is the reason to report.
  if (::access(APath.constData(), W_OK) != 0)
    return Fail("Cannot create file", ACreateError);
  if (ABeforeInPlace) {
    const TWriteResult Before = ABeforeInPlace();
    if (Before.Errno != 0)
      return Before;
  }
  if (AAccess == TFileAccess::OwnerOnly) {
    // Only the owner may change the mode; a file prepared by someone else keeps the access its
    // owner gave it.
    struct stat Info;
    if (::stat(APath.constData(), &Info) == 0 && Info.st_uid == ::geteuid())
      ::chmod(APath.constData(), S_IRUSR | S_IWUSR);
  }
  const int Error = WriteFileInPlace(APath, AData);
  if (Error != 0)
    return Fail("Cannot write file", Error);
  return {};
}

// Before player.ini or system.ini is overwritten in place, its ".bak" must hold a good copy, so
// that a crash half-way leaves a file to read. The current file goes there unless the backup
// holds it already, or the current file is empty or damaged (then the backup is the better copy
// and stays).
TWriteResult SecureBackup(const QString& AFileName)
{
  QByteArray Current;
  if (ReadWholeFile(AFileName, Current) != 0 || Current.isEmpty() || !IsSettingsText(Current))
    return {};
  const QString Backup = BackupFileName(AFileName);
  QByteArray Kept;
  if (ReadWholeFile(Backup, Kept) == 0 && Kept == Current)
    return {};
  TWriteResult Result = WriteFileReplacing(Backup, Current, TFileAccess::KeepPermissions);
  if (Result.Errno != 0)
    Result.Message =
        QStringLiteral("Cannot write file \"%1\" in place without its backup \"%2\". %3")
            .arg(AFileName, Backup, ErrorText(Result.Errno));
  return Result;
}

// Failures of the restore copy that mean "there is nothing to restore to or from".
bool IsPathError(int AErrno)
{
  switch (AErrno) {
  case EIO:
  case ENOENT:
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP:
  case EINVAL:
    return true;
  default:
    return false;
  }
}

} // namespace

QString BackupFileName(const QString& AFileName)
{
  return AFileName + QStringLiteral(".bak");
}

namespace {

TSettingsError SaveSettingsText(TPersistent& ARecord, const QString& AFileName, TFileAccess AAccess,
                                const TBeforeInPlace& ABeforeInPlace)
{
  // The whole text is made before the disk is touched.
  const QByteArray Text = WriteSettingsText(ARecord);
  const TWriteResult Result = WriteFileReplacing(AFileName, Text, AAccess, ABeforeInPlace);
  if (Result.Errno != 0)
    return TSettingsError::Make(TSettingsError::Write, Result.Message);
  return {};
}

} // namespace

TSettingsError SaveSettingsFile(TPersistent& ARecord, const QString& AFileName, TFileAccess AAccess)
{
  return SaveSettingsText(ARecord, AFileName, AAccess, {});
}

TSettingsError LoadSettingsFile(TPersistent& ARecord, const QString& AFileName)
{
  QByteArray Text;
  const int Error = ReadWholeFile(AFileName, Text);
  if (Error != 0)
    return TSettingsError::Make(
        TSettingsError::Stream,
        QStringLiteral("Cannot open file \"%1\". %2").arg(AFileName, ErrorText(Error)));
  return ReadSettingsText(ARecord, Text);
}

void BackupSettingsFile(const QString& AFileName)
{
  const QString Backup = BackupFileName(AFileName);
  QByteArray Data;
  int Error = ReadWholeFile(AFileName, Data);
  if (Error == 0)
    Error = WriteFileReplacing(Backup, Data, TFileAccess::KeepPermissions).Errno;
  if (Error != 0)
    MyMessageBox(QStringLiteral("Copy failed: %1 (%2)").arg(Backup, ErrorText(Error)), QString(),
                 MB_ICONERROR);
}

TSettingsError RestoreSettingsFile(const QString& AFileName, bool ARaise)
{
  bool Damaged = true;
  {
    const int Fd = ::open(QFile::encodeName(AFileName).constData(), O_RDONLY | O_CLOEXEC);
    if (Fd >= 0) {
      struct stat Info;
      Damaged = ::fstat(Fd, &Info) != 0 || S_ISDIR(Info.st_mode) || Info.st_size == 0;
      ::close(Fd);
    }
  }
  const QString Backup = BackupFileName(AFileName);
  if (!Damaged || !QFileInfo::exists(Backup))
    return {};

  QByteArray Data;
  int Error = ReadWholeFile(Backup, Data);
  if (Error == 0)
    Error = WriteFileReplacing(AFileName, Data, TFileAccess::KeepPermissions).Errno;
  if (Error == 0 || IsPathError(Error))
    return {};
  const TSettingsError Failure = TSettingsError::Make(
      TSettingsError::Stream, QStringLiteral("Unable to load file %1 (%2). Failed to restore file "
                                             "from backup. Loading default settings.")
                                  .arg(AFileName, ErrorText(Error)));
  if (ARaise)
    return Failure;
  MyMessageBox(Failure.Message, QStringLiteral("Error"), MB_ICONERROR);
  return {};
}

void ReadBackedUpSettingsFile(TPersistent& ARecord, const QString& AFileName)
{
  RestoreSettingsFile(AFileName, false);
  if (!QFileInfo::exists(AFileName))
    return;
  const TSettingsError Error = LoadSettingsFile(ARecord, AFileName);
  if (!Error.Failed())
    return;
  // A failed load changed nothing, so the backup can be applied to the same record.
  const QString Backup = BackupFileName(AFileName);
  if (!QFileInfo::exists(Backup))
    return;
  const TSettingsError BackupError = LoadSettingsFile(ARecord, Backup);
  if (BackupError.Failed())
    qWarning("Settings: %s is damaged (%s), and so is its backup (%s)", qUtf8Printable(AFileName),
             qUtf8Printable(Error.Message), qUtf8Printable(BackupError.Message));
  else
    qWarning("Settings: %s is damaged (%s); read its backup instead", qUtf8Printable(AFileName),
             qUtf8Printable(Error.Message));
}

bool SaveBackedUpSettingsFile(TPersistent& ARecord, const QString& AFileName,
                              const QString& AShortName)
{
  const TSettingsError Error = SaveSettingsText(ARecord, AFileName, TFileAccess::KeepPermissions,
                                                [&] { return SecureBackup(AFileName); });
  if (Error.Failed()) {
    MyMessageBox(QStringLiteral("Error saving file (%1): %2.").arg(AShortName, Error.Message),
                 QStringLiteral("Error"), MB_ICONERROR);
    return false;
  }
  BackupSettingsFile(AFileName);
  return true;
}
