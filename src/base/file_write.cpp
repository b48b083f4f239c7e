#include "base/file_write.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool FolderRefusesNewFiles(int AErrno)
{
  return AErrno == EACCES || AErrno == EPERM;
}

int WriteWhole(int AFd, const QByteArray& AData)
{
  const char* P = AData.constData();
  qint64 Left = AData.size();
  while (Left > 0) {
    const ssize_t Count = ::write(AFd, P, static_cast<size_t>(Left));
    if (Count < 0) {
      if (errno != EINTR)
        return errno;
      continue;
    }
    P += Count;
    Left -= Count;
  }
  return 0;
}

int WriteFileInPlace(const QByteArray& APath, const QByteArray& AData)
{
  // No O_TRUNC: the old content is overwritten from the start and cut only once the new content
  // is there, so a write that fails part-way (a full disk needs no new blocks up to the old
  // length) never leaves an empty file.
  const int Fd = ::open(APath.constData(), O_WRONLY | O_CLOEXEC);
  if (Fd < 0)
    return errno;
  // A file just opened is written from its start.
  int Error = WriteWhole(Fd, AData);
  if (Error == 0 && ::ftruncate(Fd, static_cast<off_t>(AData.size())) != 0)
    Error = errno;
  if (Error == 0 && ::fsync(Fd) != 0)
    Error = errno;
  if (::close(Fd) != 0 && Error == 0)
    Error = errno;
  return Error;
}
