// A bare HTTP endpoint on 127.0.0.1 that keeps the exact bytes of every request and answers
// with bytes chosen by the test (or not at all), for checking what goes over the wire and how
// the client copes with broken servers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

struct TCapturedRequest
{
  QByteArray Raw;                               // everything received, head and body
  QByteArray RequestLine;                       // without CR LF
  QList<QPair<QByteArray, QByteArray>> Headers; // as sent, in order
  QByteArray Body;

  QByteArray Header(const QByteArray& AName) const; // first of that name (any case), or empty
  bool HasHeader(const QByteArray& AName) const;
};

class TCaptureServer
{
public:
  TCaptureServer();
  ~TCaptureServer();
  TCaptureServer(const TCaptureServer&) = delete;
  TCaptureServer& operator=(const TCaptureServer&) = delete;

  quint16 Port() const { return FPort; }

  // The bytes written back to every request before the connection is closed.
  void SetReply(const QByteArray& ARaw);
  // A whole response with the status, Content-Type (none when empty) and Content-Length.
  void SetReply(int AStatus, const QByteArray& ABody, const QByteArray& AContentType = {});
  // Read the request, then never answer (the connection stays open until the server stops).
  void SetSilent(bool ASilent);

  // Stops reading a request once ABytes of it have arrived, until ResumeReading: the client is
  // left in the middle of sending. WaitUntilPaused says when that point has been reached.
  void PauseReadingAfter(qint64 ABytes);
  bool WaitUntilPaused(int ATimeoutMs) const;
  void ResumeReading();
  // Connections that ended before their request had arrived whole.
  int CutShortCount() const;

  std::vector<TCapturedRequest> Requests() const;
  int RequestCount() const;
  bool WaitForRequests(int ACount, int ATimeoutMs) const;

private:
  void Serve();
  bool ReadRequest(int ASocket, TCapturedRequest& ARequest);

  int FListener = -1;
  int FWake[2] = {-1, -1};
  quint16 FPort = 0;
  std::thread FThread;
  mutable std::mutex FMutex;
  mutable std::condition_variable FArrived;
  std::vector<TCapturedRequest> FRequests;
  QByteArray FReply;
  bool FSilent = false;
  std::vector<int> FHeld;
  // Atomic as well as locked: ThreadSanitizer has been seen to lose track of FMutex here.
  std::atomic<qint64> FPauseAfter{-1};
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FStopping{false};
  std::atomic<int> FCutShort{0};
};
