#include "app/signal_closer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t GWriteFd = -1;

void OnSignalCaught(int ASignal)
{
  const int SavedErrno = errno;
  const char Byte = char(ASignal);
  if (GWriteFd >= 0) [[maybe_unused]]
    const ssize_t Written = ::write(GWriteFd, &Byte, 1);
  errno = SavedErrno;
}

void SetHandler(int ASignal, void (*AHandler)(int))
{
  struct sigaction Action = {};
  Action.sa_handler = AHandler;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  sigaction(ASignal, &Action, nullptr);
}

} // namespace

TSignalCloser::TSignalCloser(QWidget* AWindow, std::initializer_list<int> ASignals)
    : QObject(nullptr), FWindow(AWindow), FSignals(ASignals)
{
  if (FSignals.isEmpty())
    FSignals = {SIGTERM, SIGINT, SIGHUP};
  int Fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, Fds) != 0)
    return; // no way to hear the signals: they keep their default action
  FReadFd = Fds[0];
  GWriteFd = Fds[1];
  FNotifier = new QSocketNotifier(FReadFd, QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TSignalCloser::OnSignal);
  for (int Signal : FSignals)
    SetHandler(Signal, OnSignalCaught);
}

TSignalCloser::~TSignalCloser()
{
  for (int Signal : FSignals)
    SetHandler(Signal, SIG_DFL);
  const int WriteFd = GWriteFd;
  GWriteFd = -1;
  if (WriteFd >= 0)
    ::close(WriteFd);
  if (FReadFd >= 0)
    ::close(FReadFd);
}

void TSignalCloser::OnSignal()
{
  char Buffer[64];
  while (::read(FReadFd, Buffer, sizeof Buffer) > 0) {
  }
  // A second signal while the window closes ends the program at once, as the user asked twice.
  for (int Signal : FSignals)
    SetHandler(Signal, SIG_DFL);
  FNotifier->setEnabled(false);
  if (FWindow)
    FWindow->close();
}
