// A folder whose files may still be written but which refuses new files, as a shared folder that
// an administrator made read-only for its users does. Root ignores folder permissions, so the
// refusal must bind root too: the immutable attribute where the file system has it, else a
// folder without write permission and, for this thread, without the capability that overrides
// permissions. Both are refusals by the kernel itself.
#pragma once

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

class TRefusingFolder
{
public:
  explicit TRefusingFolder(const QString& AFolder) : FPath(QFile::encodeName(AFolder)) {}
  ~TRefusingFolder() { Allow(); }
  TRefusingFolder(const TRefusingFolder&) = delete;
  TRefusingFolder& operator=(const TRefusingFolder&) = delete;

  // Makes the folder refuse new files. False (with the reason) when neither way works here.
  bool Refuse(std::string& AWhy)
  {
    if (SetImmutable(true)) {
      FHow = Immutable;
      if (Refuses())
        return true;
      Allow();
    }
    const std::string ImmutableWhy = std::strerror(errno);
    struct stat Info;
    if (::stat(FPath.constData(), &Info) != 0) {
      AWhy = std::strerror(errno);
      return false;
    }
    FMode = Info.st_mode & 07777;
    if (::chmod(FPath.constData(), 0555) != 0) {
      AWhy = std::strerror(errno);
      return false;
    }
    FHow = ReadOnly;
    if (::geteuid() == 0 && !DropOverride()) {
      AWhy = std::string("cannot drop CAP_DAC_OVERRIDE: ") + std::strerror(errno);
      Allow();
      return false;
    }
    if (Refuses())
      return true;
    AWhy = "neither the immutable attribute (" + ImmutableWhy +
           ") nor a read-only folder refuses new files here";
    Allow();
    return false;
  }

  void Allow()
  {
    if (FHow == Immutable)
      SetImmutable(false);
    if (FHow == ReadOnly) {
      if (FDropped)
        ::syscall(SYS_capset, &FHeader, FSaved);
      FDropped = false;
      ::chmod(FPath.constData(), FMode);
    }
    FHow = None;
  }

  // Which refusal is in force, for the test log.
  const char* How() const
  {
    return FHow == Immutable  ? "immutable folder"
           : FHow == ReadOnly ? "folder without write permission"
                              : "none";
  }

  // The errno with which new files are refused.
  int RefusalErrno() const { return FHow == Immutable ? EPERM : EACCES; }

  // What the kernel answers to a new file now.
  bool Refuses() const
  {
    const QByteArray Probe = FPath + "/.probe";
    const int Fd = ::open(Probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (Fd < 0)
      return errno == EACCES || errno == EPERM;
    ::close(Fd);
    ::unlink(Probe.constData());
    return false;
  }

private:
  bool SetImmutable(bool AOn)
  {
    const int Fd = ::open(FPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
      return false;
    int Flags = 0;
    bool Done = ::ioctl(Fd, FS_IOC_GETFLAGS, &Flags) == 0;
    if (Done) {
      Flags = AOn ? Flags | FS_IMMUTABLE_FL : Flags & ~FS_IMMUTABLE_FL;
      Done = ::ioctl(Fd, FS_IOC_SETFLAGS, &Flags) == 0;
    }
    const int Saved = errno;
    ::close(Fd);
    errno = Saved;
    return Done;
  }

  // Capabilities belong to the thread: the saves under test run on this one.
  bool DropOverride()
  {
    FHeader = {_LINUX_CAPABILITY_VERSION_3, 0};
    if (::syscall(SYS_capget, &FHeader, FSaved) != 0)
      return false;
    __user_cap_data_struct Data[2];
    std::memcpy(Data, FSaved, sizeof Data);
    Data[CAP_TO_INDEX(CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK(CAP_DAC_OVERRIDE);
    if (::syscall(SYS_capset, &FHeader, Data) != 0)
      return false;
    FDropped = true;
    return true;
  }

  enum
  {
    None,
    Immutable,
    ReadOnly,
  } FHow = None;
  QByteArray FPath;
  mode_t FMode = 0755;
  bool FDropped = false;
  __user_cap_header_struct FHeader = {};
  __user_cap_data_struct FSaved[2] = {};
};
