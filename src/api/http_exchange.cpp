#include "api/http_exchange.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <iconv.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<int> ConnectTimeoutMs{30000};
std::atomic<int> StallSeconds{30};

// curl_global_init is not thread-safe; every exchange goes through here first.
void EnsureCurlInitialised()
{
  static std::once_flag Once;
  std::call_once(Once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TExchangeState
{
  TTransferControl* Control = nullptr;
  const THttpProgress* Progress = nullptr;
  QByteArray Body;
  QByteArray Reason;
  QElapsedTimer SinceReport;
  curl_off_t LastReported = -1;
  THttpBodySource* Source = nullptr;
  bool SourceFailed = false;
};

size_t ReadSource(char* ABuffer, size_t ASize, size_t ACount, void* AUser)
{
  auto* State = static_cast<TExchangeState*>(AUser);
  const qint64 Got = State->Source->Read(ABuffer, qint64(ASize * ACount));
  if (Got < 0) {
    // Ends the transfer short of its Content-Length, so the station never takes it as whole.
    State->SourceFailed = true;
    return CURL_READFUNC_ABORT;
  }
  return size_t(Got);
}

size_t WriteBody(char* AData, size_t ASize, size_t ACount, void* AUser)
{
  auto* State = static_cast<TExchangeState*>(AUser);
  State->Body.append(AData, qsizetype(ASize * ACount));
  return ASize * ACount;
}

// Keeps the reason phrase of the last status line (after redirects or "100 Continue").
size_t OnHeader(char* AData, size_t ASize, size_t ACount, void* AUser)
{
  const QByteArray Line = QByteArray(AData, qsizetype(ASize * ACount)).trimmed();
  if (Line.startsWith("HTTP/")) {
    const QList<QByteArray> Parts = Line.split(' ');
    QByteArray Reason;
    for (qsizetype I = 2; I < Parts.size(); ++I)
      Reason += (I > 2 ? " " : "") + Parts[I];
    static_cast<TExchangeState*>(AUser)->Reason = Reason;
  }
  return ASize * ACount;
}

TNetworkFailure FailureOf(CURLcode ACode)
{
  switch (ACode) {
  case CURLE_COULDNT_CONNECT:
  case CURLE_RECV_ERROR:
  case CURLE_SEND_ERROR:
  case CURLE_GOT_NOTHING:
    return nfRefused;
  case CURLE_COULDNT_RESOLVE_HOST:
    return nfHostNotFound;
  case CURLE_OPERATION_TIMEDOUT:
    return nfTimeout;
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_PEER_FAILED_VERIFICATION:
  case CURLE_SSL_CERTPROBLEM:
  case CURLE_SSL_CACERT_BADFILE:
    return nfTls;
  default:
    return nfOther;
  }
}

int OnProgress(void* AUser, curl_off_t, curl_off_t, curl_off_t AUploadTotal, curl_off_t AUploaded)
{
  auto* State = static_cast<TExchangeState*>(AUser);
  if (State->Control->Cancelled())
    return 1;
  if (*State->Progress && AUploadTotal > 0 && AUploaded != State->LastReported) {
    const bool Done = AUploaded == AUploadTotal;
    if (Done || !State->SinceReport.isValid() || State->SinceReport.elapsed() >= 200) {
      State->SinceReport.start();
      State->LastReported = AUploaded;
      (*State->Progress)(AUploaded, AUploadTotal);
    }
  }
  return 0;
}

curl_socket_t OpenSocketCallback(void* AUser, curlsocktype, curl_sockaddr* AAddress)
{
  return static_cast<TTransferControl*>(AUser)->OpenSocket(AAddress->family, AAddress->socktype,
                                                           AAddress->protocol);
}

int CloseSocketCallback(void* AUser, curl_socket_t ASocket)
{
  return static_cast<TTransferControl*>(AUser)->CloseSocket(ASocket);
}

QByteArray CharsetOf(const QByteArray& AContentType)
{
  for (const QByteArray& Part : AContentType.split(';')) {
    const QByteArray Item = Part.trimmed();
    if (Item.size() > 8 && Item.left(8).toLower() == "charset=") {
      QByteArray Value = Item.mid(8).trimmed();
      if (Value.size() >= 2 && Value.startsWith('"') && Value.endsWith('"'))
        Value = Value.mid(1, Value.size() - 2);
      return Value.trimmed();
    }
  }
  return {};
}

// Charsets that Qt does not carry itself (windows-1252, ISO-8859-15, KOI8-R...) go through the
// C library. Bytes the charset does not allow become U+FFFD.
bool DecodeWithIconv(const QByteArray& ABody, const QByteArray& ACharset, QString& AResult)
{
  iconv_t Converter = iconv_open("UTF-8", ACharset.constData());
  if (Converter == iconv_t(-1))
    return false;
  QByteArray Out;
  Out.resize(ABody.size() * 4 + 16);
  char* In = const_cast<char*>(ABody.constData());
  size_t InLeft = size_t(ABody.size());
  char* OutPtr = Out.data();
  size_t OutLeft = size_t(Out.size());
  while (InLeft > 0) {
    if (iconv(Converter, &In, &InLeft, &OutPtr, &OutLeft) != size_t(-1))
      break;
    if (errno == E2BIG) {
      const qsizetype Used = OutPtr - Out.data();
      Out.resize(Out.size() * 2);
      OutPtr = Out.data() + Used;
      OutLeft = size_t(Out.size() - Used);
      continue;
    }
    // EILSEQ or an incomplete sequence at the end: one replacement character, skip the byte.
    if (OutLeft < 3) {
      const qsizetype Used = OutPtr - Out.data();
      Out.resize(Out.size() + 16);
      OutPtr = Out.data() + Used;
      OutLeft = size_t(Out.size() - Used);
    }
    memcpy(OutPtr, "\xEF\xBF\xBD", 3);
    OutPtr += 3;
    OutLeft -= 3;
    ++In;
    --InLeft;
  }
  iconv_close(Converter);
  Out.resize(OutPtr - Out.data());
  AResult = QString::fromUtf8(Out);
  return true;
}

} // namespace

void TTransferControl::Cancel()
{
  FCancelled.store(true, std::memory_order_release);
  std::lock_guard Guard(FMutex);
  // Shutting down (not closing) leaves the descriptor to curl, which closes it through
  // CloseSocket; the number cannot be reused by anyone in between.
  for (int Socket : FSockets)
    ::shutdown(Socket, SHUT_RDWR);
}

int TTransferControl::OpenSocket(int AFamily, int AType, int AProtocol)
{
  std::lock_guard Guard(FMutex);
  if (Cancelled())
    return CURL_SOCKET_BAD;
  const int Socket = ::socket(AFamily, AType | SOCK_CLOEXEC, AProtocol);
  if (Socket >= 0)
    FSockets.push_back(Socket);
  return Socket;
}

int TTransferControl::CloseSocket(int ASocket)
{
  std::lock_guard Guard(FMutex);
  FSockets.erase(std::remove(FSockets.begin(), FSockets.end(), ASocket), FSockets.end());
  return ::close(ASocket);
}

void SetHttpTimeoutsForTesting(int AConnectMs, int AStallSeconds)
{
  ConnectTimeoutMs.store(AConnectMs);
  StallSeconds.store(AStallSeconds);
}

namespace {

THttpReply Exchange(const QString& AURL, const QByteArray* AForm, THttpBodySource* ASource,
                    TTransferControl& AControl, const THttpProgress& AProgress)
{
  EnsureCurlInitialised();
  THttpReply Reply;
  CURL* Curl = curl_easy_init();
  if (!Curl) {
    Reply.NetworkError = QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT));
    return Reply;
  }
  TExchangeState State;
  State.Control = &AControl;
  State.Progress = &AProgress;
  State.Source = ASource;
  char ErrorBuffer[CURL_ERROR_SIZE] = {};
  curl_slist* Headers = nullptr;
  const QByteArray URL = AURL.toUtf8();

  curl_easy_setopt(Curl, CURLOPT_URL, URL.constData());
  curl_easy_setopt(Curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(Curl, CURLOPT_ERRORBUFFER, ErrorBuffer);
  // Worker threads: no alarm signals for name look-ups.
  curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(Curl, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeoutMs.load()));
  curl_easy_setopt(Curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(Curl, CURLOPT_LOW_SPEED_TIME, long(StallSeconds.load()));
  // One connection per exchange, as nothing survives from one request to the next.
  curl_easy_setopt(Curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(Curl, CURLOPT_WRITEDATA, &State);
  curl_easy_setopt(Curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(Curl, CURLOPT_HEADERDATA, &State);
  curl_easy_setopt(Curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(Curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(Curl, CURLOPT_XFERINFODATA, &State);
  curl_easy_setopt(Curl, CURLOPT_OPENSOCKETFUNCTION, OpenSocketCallback);
  curl_easy_setopt(Curl, CURLOPT_OPENSOCKETDATA, &AControl);
  curl_easy_setopt(Curl, CURLOPT_CLOSESOCKETFUNCTION, CloseSocketCallback);
  curl_easy_setopt(Curl, CURLOPT_CLOSESOCKETDATA, &AControl);
  if (AForm || ASource) {
    Headers = curl_slist_append(Headers, "Content-Type: application/x-www-form-urlencoded");
    // curl would ask large bodies to wait for "100 Continue"; the station never sends one.
    Headers = curl_slist_append(Headers, "Expect:");
    curl_easy_setopt(Curl, CURLOPT_HTTPHEADER, Headers);
    curl_easy_setopt(Curl, CURLOPT_POST, 1L);
  }
  if (AForm) {
    curl_easy_setopt(Curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(AForm->size()));
    curl_easy_setopt(Curl, CURLOPT_POSTFIELDS, AForm->constData());
  } else if (ASource) {
    curl_easy_setopt(Curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(ASource->Size()));
    curl_easy_setopt(Curl, CURLOPT_READFUNCTION, ReadSource);
    curl_easy_setopt(Curl, CURLOPT_READDATA, &State);
    // Fewer, larger writes to the socket; still a small, fixed amount of memory.
    curl_easy_setopt(Curl, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
  }

  const CURLcode Code = curl_easy_perform(Curl);
  if (Code == CURLE_OK) {
    long Status = 0;
    curl_easy_getinfo(Curl, CURLINFO_RESPONSE_CODE, &Status);
    const char* ContentType = nullptr;
    curl_easy_getinfo(Curl, CURLINFO_CONTENT_TYPE, &ContentType);
    Reply.Delivered = true;
    Reply.Status = Status;
    Reply.ContentType = ContentType ? QByteArray(ContentType) : QByteArray();
    Reply.Body = std::move(State.Body);
    Reply.Reason = State.Reason;
  } else if (State.SourceFailed) {
    Reply.NetworkError = ASource->Error();
  } else {
    Reply.NetworkError = QString::fromUtf8(ErrorBuffer[0] ? ErrorBuffer : curl_easy_strerror(Code));
    Reply.Failure = FailureOf(Code);
  }
  curl_easy_cleanup(Curl);
  curl_slist_free_all(Headers);
  return Reply;
}

} // namespace

THttpReply HttpExchange(const QString& AURL, const QByteArray* AForm, TTransferControl& AControl,
                        const THttpProgress& AProgress)
{
  return Exchange(AURL, AForm, nullptr, AControl, AProgress);
}

THttpReply HttpExchange(const QString& AURL, THttpBodySource& ASource, TTransferControl& AControl,
                        const THttpProgress& AProgress)
{
  return Exchange(AURL, nullptr, &ASource, AControl, AProgress);
}

QString HttpStatusText(long AStatus, const QByteArray& AReason)
{
  const QString Text = QStringLiteral("HTTP %1").arg(AStatus);
  return AReason.isEmpty() ? Text : Text + QLatin1Char(' ') + QString::fromLatin1(AReason);
}

QString DecodeReplyBody(const QByteArray& ABody, const QByteArray& AContentType)
{
  const QByteArray Charset = CharsetOf(AContentType);
  if (Charset.isEmpty())
    return QString::fromUtf8(ABody);
  if (const auto Encoding = QStringConverter::encodingForName(Charset.constData())) {
    // The text as sent: a byte-order mark is kept like any other character.
    QStringDecoder Decoder(*Encoding, QStringConverter::Flag::ConvertInitialBom);
    return Decoder.decode(ABody);
  }
  QString Result;
  if (DecodeWithIconv(ABody, Charset, Result))
    return Result;
  return QString::fromUtf8(ABody);
}
