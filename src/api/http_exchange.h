// One HTTP exchange with the station, made with libcurl on the calling (worker) thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// Lets another thread end a transfer at once: the progress check refuses to go on, and the
// connection's sockets are shut down so that a transfer waiting on the network wakes up now
// rather than at its next progress tick.
class TTransferControl
{
public:
  // Any thread. A transfer that has not started yet will not start.
  void Cancel();
  bool Cancelled() const { return FCancelled.load(std::memory_order_acquire); }

  // For the exchange: sockets it opens and closes, so that Cancel can reach them.
  int OpenSocket(int AFamily, int AType, int AProtocol);
  int CloseSocket(int ASocket);

private:
  std::atomic<bool> FCancelled{false};
  std::mutex FMutex;
  std::vector<int> FSockets;
};

// What kind of network failure ended an exchange, for messages in plain words.
enum TNetworkFailure
{
  nfNone,
  nfRefused,      // nobody listens at the address, or the connection was reset
  nfHostNotFound, // the name does not resolve
  nfTimeout,
  nfTls, // handshake or certificate
  nfOther
};

struct THttpReply
{
  // True when a status line arrived (any status); false when the network failed, with
  // NetworkError holding the client's own message.
  bool Delivered = false;
  QString NetworkError;
  TNetworkFailure Failure = nfNone;
  long Status = 0;
  QByteArray Reason; // the status line's reason phrase ("Bad Gateway"); may be empty
  QByteArray Body;
  QByteArray ContentType;
};

// Bytes sent so far and the total, called on the exchanging thread a few times a second at most
// while a body is sent, and once more when all of it has gone.
using THttpProgress = std::function<void(qint64 ASent, qint64 ATotal)>;

// GET AURL, or with AForm POST the form (as application/x-www-form-urlencoded; the bytes are
// sent from AForm without a copy, so it must live until the call returns). A fresh connection
// per call; connecting may take 30 s, and 30 s without any progress while sending or waiting
// ends the exchange. No user agent, compression or "Expect: 100-continue"; HTTPS certificates
// are checked against the system's store.
THttpReply HttpExchange(const QString& AURL, const QByteArray* AForm, TTransferControl& AControl,
                        const THttpProgress& AProgress = {});

// A request body made while it is sent, for bodies too large to hold in memory.
class THttpBodySource
{
public:
  virtual ~THttpBodySource() = default;
  // The exact number of bytes Read will hand out (sent as Content-Length).
  virtual qint64 Size() const = 0;
  // Up to AMax next bytes into AOut; 0 at the end; -1 when the body cannot be made any more,
  // with Error() saying why for the user.
  virtual qint64 Read(char* AOut, qint64 AMax) = 0;
  virtual QString Error() const = 0;
};

// The same exchange, POSTing the body read from ASource while it is sent (same headers and
// bytes as with a whole form). When the source fails, the transfer is cut off before its end
// and the reply carries the source's Error() as its network error.
THttpReply HttpExchange(const QString& AURL, THttpBodySource& ASource, TTransferControl& AControl,
                        const THttpProgress& AProgress = {});

// Tests only: shorter time-outs, so that a server that never answers does not take half a
// minute. The program never calls this.
void SetHttpTimeoutsForTesting(int AConnectMs, int AStallSeconds);

// "HTTP 502 Bad Gateway": what an error reply without a body is reported as.
QString HttpStatusText(long AStatus, const QByteArray& AReason);

// The body decoded by the charset of the Content-Type; UTF-8 when it names none or one that
// is not known here.
QString DecodeReplyBody(const QByteArray& ABody, const QByteArray& AContentType);
