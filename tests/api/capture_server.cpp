#include "capture_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

QByteArray TCapturedRequest::Header(const QByteArray& AName) const
{
  for (const auto& Item : Headers)
    if (Item.first.compare(AName, Qt::CaseInsensitive) == 0)
      return Item.second;
  return {};
}

bool TCapturedRequest::HasHeader(const QByteArray& AName) const
{
  for (const auto& Item : Headers)
    if (Item.first.compare(AName, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

TCaptureServer::TCaptureServer()
{
  FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Address.sin_port = 0;
  ::bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
  ::listen(FListener, 64);
  socklen_t Length = sizeof Address;
  ::getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length);
  FPort = ntohs(Address.sin_port);
  if (::pipe2(FWake, O_CLOEXEC) != 0)
    FWake[0] = FWake[1] = -1;
  SetReply(200, "OK", "text/plain");
  FThread = std::thread([this] { Serve(); });
}

TCaptureServer::~TCaptureServer()
{
  {
    std::lock_guard Guard(FMutex);
    FStopping = true;
  }
  if (FWake[1] >= 0)
    (void)::write(FWake[1], "x", 1);
  FThread.join();
  for (int Socket : FHeld)
    ::close(Socket);
  ::close(FListener);
  ::close(FWake[0]);
  ::close(FWake[1]);
}

void TCaptureServer::SetReply(const QByteArray& ARaw)
{
  std::lock_guard Guard(FMutex);
  FReply = ARaw;
}

void TCaptureServer::SetReply(int AStatus, const QByteArray& ABody, const QByteArray& AContentType)
{
  QByteArray Raw = "HTTP/1.1 " + QByteArray::number(AStatus) + " Status\r\n";
  if (!AContentType.isEmpty())
    Raw += "Content-Type: " + AContentType + "\r\n";
  Raw += "Content-Length: " + QByteArray::number(ABody.size()) + "\r\nConnection: close\r\n\r\n";
  SetReply(Raw + ABody);
}

void TCaptureServer::SetSilent(bool ASilent)
{
  std::lock_guard Guard(FMutex);
  FSilent = ASilent;
}

void TCaptureServer::PauseReadingAfter(qint64 ABytes)
{
  std::lock_guard Guard(FMutex);
  FPauseAfter = ABytes;
}

bool TCaptureServer::WaitUntilPaused(int ATimeoutMs) const
{
  // Polled rather than waited for: the pause is a test's rare event, and a plain mutex keeps
  // ThreadSanitizer's view simple.
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
  for (;;) {
    {
      std::lock_guard Guard(FMutex);
      if (FPaused)
        return true;
    }
    if (std::chrono::steady_clock::now() > Deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void TCaptureServer::ResumeReading()
{
  std::lock_guard Guard(FMutex);
  FPauseAfter = -1;
}

int TCaptureServer::CutShortCount() const
{
  std::lock_guard Guard(FMutex);
  return FCutShort;
}

std::vector<TCapturedRequest> TCaptureServer::Requests() const
{
  std::lock_guard Guard(FMutex);
  return FRequests;
}

int TCaptureServer::RequestCount() const
{
  std::lock_guard Guard(FMutex);
  return int(FRequests.size());
}

bool TCaptureServer::WaitForRequests(int ACount, int ATimeoutMs) const
{
  std::unique_lock Guard(FMutex);
  return FArrived.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs),
                           [&] { return int(FRequests.size()) >= ACount; });
}

// Waits for data on ASocket; false when the server is stopping or nothing comes for 10 s.
static bool WaitReadable(int ASocket, int AWake)
{
  pollfd Fds[2] = {{ASocket, POLLIN, 0}, {AWake, POLLIN, 0}};
  if (::poll(Fds, 2, 10000) <= 0)
    return false;
  return !(Fds[1].revents & POLLIN);
}

bool TCaptureServer::ReadRequest(int ASocket, TCapturedRequest& ARequest)
{
  char Buffer[65536];
  qsizetype HeadEnd = -1;
  qint64 Length = 0;
  for (;;) {
    if (HeadEnd < 0) {
      HeadEnd = ARequest.Raw.indexOf("\r\n\r\n");
      if (HeadEnd >= 0) {
        const QByteArray Head = ARequest.Raw.left(HeadEnd);
        const QList<QByteArray> Lines = Head.split('\n');
        ARequest.RequestLine = Lines.value(0).trimmed();
        for (qsizetype I = 1; I < Lines.size(); ++I) {
          const QByteArray Line = Lines[I].endsWith('\r') ? Lines[I].chopped(1) : Lines[I];
          const qsizetype Colon = Line.indexOf(':');
          ARequest.Headers.append({Line.left(Colon), Line.mid(Colon + 1).trimmed()});
        }
        Length = ARequest.Header("Content-Length").toLongLong();
        HeadEnd += 4;
      }
    }
    if (HeadEnd >= 0 && ARequest.Raw.size() - HeadEnd >= Length) {
      ARequest.Body = ARequest.Raw.mid(HeadEnd);
      return true;
    }
    if (!WaitReadable(ASocket, FWake[0]))
      return false;
    const ssize_t Got = ::recv(ASocket, Buffer, sizeof Buffer, 0);
    if (Got <= 0)
      return false;
    ARequest.Raw.append(Buffer, Got);
    for (;;) {
      {
        std::lock_guard Guard(FMutex);
        FPaused = FPauseAfter >= 0 && ARequest.Raw.size() >= FPauseAfter && !FStopping;
        if (!FPaused)
          break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
}

void TCaptureServer::Serve()
{
  for (;;) {
    pollfd Fds[2] = {{FListener, POLLIN, 0}, {FWake[0], POLLIN, 0}};
    if (::poll(Fds, 2, -1) < 0)
      continue;
    if (Fds[1].revents & POLLIN)
      return;
    const int Socket = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Socket < 0)
      continue;
    TCapturedRequest Request;
    const bool Complete = ReadRequest(Socket, Request);
    QByteArray Reply;
    bool Silent;
    {
      std::lock_guard Guard(FMutex);
      if (Complete)
        FRequests.push_back(Request);
      else if (!Request.Raw.isEmpty())
        ++FCutShort;
      // A copy of its own: the test may replace the reply while this thread still sends it.
      Reply = QByteArray(FReply.constData(), FReply.size());
      Silent = FSilent;
    }
    FArrived.notify_all();
    if (Complete && Silent) {
      FHeld.push_back(Socket);
      continue;
    }
    if (Complete) {
      qsizetype Sent = 0;
      while (Sent < Reply.size()) {
        const ssize_t Put =
            ::send(Socket, Reply.constData() + Sent, size_t(Reply.size() - Sent), MSG_NOSIGNAL);
        if (Put <= 0)
          break;
        Sent += Put;
      }
    }
    ::shutdown(Socket, SHUT_WR);
    ::close(Socket);
  }
}
