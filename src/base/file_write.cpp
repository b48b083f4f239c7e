#include "base/file_write.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool FolderRefusesNewFiles(int AErrno)
{
  return AErrno == EACCES || AErrno == EPERM;
}

int WriteFileInPlace(const QByteArray& APath, const QByteArray& AData)
{
  // No O_TRUNC: the old content is overwritten from the start and cut only once the new content
  // is there, so a write that fails part-way (a full disk needs no new blocks up to the old
  // length) never leaves an empty file.
  const int Fd = ::open(APath.constData(), O_WRONLY | O_CLOEXEC);
  if (Fd < 0)
    return errno;
  int Error = 0;
  const char* P = AData.constData();
  qint64 Left = AData.size();
  off_t Offset = 0;
  while (Error == 0 && Left > 0) {
    const ssize_t Count = ::pwrite(Fd, P, static_cast<size_t>(Left), Offset);
    if (Count < 0) {
      if (errno != EINTR)
        Error = errno;
      continue;
    }
    P += Count;
    Left -= Count;
    Offset += Count;
  }
  if (Error == 0 && ::ftruncate(Fd, Offset) != 0)
    Error = errno;
  if (Error == 0 && ::fsync(Fd) != 0)
    Error = errno;
  if (::close(Fd) != 0 && Error == 0)
    Error = errno;
  return Error;
}
