#include "station_server.h"

#include "flac_info.h"
#include "station_form.h"
#include "station_replies.h"
#include "station_scheduler.h"

#include <httplib.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>

namespace {

using TSteady = std::chrono::steady_clock;

const char* const CTextType = "text/plain; charset=utf-8";
const char* const CXmlType = "text/xml; charset=utf-8";
// A voice track of an hour in FLAC is well under this even after Base64 and URL encoding.
constexpr size_t CMaxPayload = size_t(512) * 1024 * 1024;

struct TReply
{
  int Status = 200;
  QByteArray Body;
  QByteArray ContentType = CTextType;
};

TReply Text(int AStatus, const QString& AText)
{
  return {AStatus, AText.toUtf8(), CTextType};
}

// Strict 1-based position: decimal digits only, so "1x", "-1" or "" are errors, not 1 or 0.
bool ParsePosition(const QString& AText, int& APosition)
{
  if (AText.isEmpty() || AText.size() > 9)
    return false;
  for (const QChar C : AText)
    if (C < QLatin1Char('0') || C > QLatin1Char('9'))
      return false;
  APosition = AText.toInt();
  return true;
}

QString InvalidPosition(int APosition, int ACount)
{
  return QStringLiteral("Invalid position %1: the playlist has %2 entries")
      .arg(APosition)
      .arg(ACount);
}

// The name part only, so that an upload can never write outside the storage folder.
QString SafeFileName(const QString& AName)
{
  QString Name = AName.mid(
      qMax(AName.lastIndexOf(QLatin1Char('/')), AName.lastIndexOf(QLatin1Char('\\'))) + 1);
  Name.removeIf([](QChar C) { return C.unicode() < 0x20 || C.unicode() == 0x7F; });
  Name = Name.trimmed();
  if (Name == QLatin1String(".") || Name == QLatin1String(".."))
    return QString();
  return Name;
}

// "VT 01.flac", then "VT 01 (2).flac" and so on: an upload never replaces a stored track.
QString UniquePath(const QDir& AFolder, const QString& AName)
{
  QString Path = AFolder.filePath(AName);
  const QFileInfo Info(AName);
  const QString Suffix = Info.suffix().isEmpty() ? QString() : QLatin1Char('.') + Info.suffix();
  const QString Base = Info.suffix().isEmpty() ? AName : Info.completeBaseName();
  for (int N = 2; QFileInfo::exists(Path); ++N)
    Path = AFolder.filePath(QStringLiteral("%1 (%2)%3").arg(Base).arg(N).arg(Suffix));
  return Path;
}

QString MaskedTarget(const std::string& ATarget)
{
  QString Target = QString::fromUtf8(ATarget);
  const qsizetype At = Target.indexOf(QLatin1String("pass="));
  if (At >= 0 &&
      (At == 0 || Target[At - 1] == QLatin1Char('?') || Target[At - 1] == QLatin1Char('&'))) {
    qsizetype End = Target.indexOf(QLatin1Char('&'), At);
    if (End < 0)
      End = Target.size();
    Target.replace(At + 5, End - At - 5, QStringLiteral("***"));
  }
  return Target;
}

// The HTTP library logs a request after its reply, on the thread that handled it, but only the
// handler has read its form; it leaves a readable form of it here for that line.
struct TLogNote
{
  const httplib::Request* Request = nullptr;
  QString Form;
};
thread_local TLogNote GLogNote;

void NoteForLog(const httplib::Request& AReq, const TFormFields& AFields)
{
  GLogNote = {};
  if (AReq.method != "POST")
    return;
  // The form holds the password and possibly megabytes of audio: both stay out of the log.
  QStringList Parts;
  for (const auto& [Name, Value] : AFields) {
    if (Name == QLatin1String("pass"))
      Parts << QStringLiteral("pass=***");
    else if (Value.size() > 64)
      Parts << QStringLiteral("%1=(%2 characters)").arg(Name).arg(Value.size());
    else
      Parts << Name + QLatin1Char('=') + Value;
  }
  GLogNote = {&AReq, QStringLiteral(" [%1]").arg(Parts.join(QLatin1Char(' ')))};
}

} // namespace

struct TStationServer::TImpl
{
  explicit TImpl(TStationOptions AOptions)
      : Options(std::move(AOptions)), Scheduler(Options.Seed),
        Playlist(MakePolicy(Options), [this] { return Scheduler.Next(); })
  {
    ClockBaseMs = QDateTime::currentMSecsSinceEpoch();
    ClockBaseSteady = TSteady::now();
    Playlist.Fill(qMax(Options.Entries, 0));
    Playlist.Play(Playlist.Count() > 0 ? 0 : -1, ClockBaseMs);
  }

  static TStationPlaylist::TPolicy MakePolicy(const TStationOptions& AOptions)
  {
    TStationPlaylist::TPolicy Policy;
    Policy.KeepPlayed = AOptions.KeepPlayed;
    Policy.MaxPlayMs = qMax<qint64>(AOptions.RollMs, 0);
    Policy.FillTo =
        AOptions.AutoFill ? qMax(AOptions.Entries - qMax(AOptions.KeepPlayed, 0), 0) : 0;
    return Policy;
  }

  // Callers hold Lock.
  qint64 NowMs() const
  {
    if (!ClockRunning)
      return ClockBaseMs;
    return ClockBaseMs +
           std::chrono::duration_cast<std::chrono::milliseconds>(TSteady::now() - ClockBaseSteady)
               .count();
  }

  qint64 CaughtUpNow()
  {
    const qint64 Now = NowMs();
    Playlist.CatchUp(Now);
    return Now;
  }

  void Handle(const httplib::Request& AReq, httplib::Response& ARes,
              const httplib::ContentReader* AReader);
  TReply Dispatch(const TStationRequest& ARequest);
  TReply Upload(const TStationRequest& ARequest);
  void LogLine(const httplib::Request& AReq, const httplib::Response& ARes) const;

  TStationOptions Options;
  mutable std::mutex Lock;
  mutable std::condition_variable Changed;

  TStationScheduler Scheduler;
  TStationPlaylist Playlist;
  qint64 ClockBaseMs = 0;
  TSteady::time_point ClockBaseSteady;
  bool ClockRunning = true;

  int ReplyDelayMs = 0;
  bool Unresponsive = false;
  std::optional<TReply> FixedReply;
  QString FixedReplyAction; // empty: the fixed reply answers every request
  TRequestHook Hook;
  bool Stopping = false;

  struct TLogged
  {
    qint64 Seq;
    TStationRequest Request;
  };
  QList<TLogged> Log;
  qint64 NextSeq = 0;

  std::unique_ptr<httplib::Server> Server;
  std::thread Thread;
  quint16 BoundPort = 0;
  bool Https = false;
  QString Error;
  std::unique_ptr<QTemporaryDir> TempStorage;
  QString Storage;
};

void TStationServer::TImpl::Handle(const httplib::Request& AReq, httplib::Response& ARes,
                                   const httplib::ContentReader* AReader)
{
  TStationRequest Request;
  Request.Method = QString::fromStdString(AReq.method);
  Request.Target = QString::fromUtf8(AReq.target);
  for (const auto& [Name, Value] : AReq.headers)
    Request.Headers.append({QString::fromUtf8(Name), QString::fromUtf8(Value)});
  Request.ContentType = QByteArray::fromStdString(AReq.get_header_value("Content-Type"));
  const qsizetype Query = Request.Target.indexOf(QLatin1Char('?'));
  if (Query >= 0)
    Request.Fields = ParseUrlEncoded(AReq.target.substr(Query + 1));
  // POST bodies are read here rather than by the HTTP library, which refuses URL-encoded
  // forms of more than a few kilobytes, far less than a voice track.
  if (AReader) {
    if (AReq.is_multipart_form_data()) {
      httplib::MultipartFormDataItems Parts;
      (*AReader)(
          [&](const httplib::MultipartFormData& APart) {
            Parts.push_back(APart);
            return true;
          },
          [&](const char* AData, size_t ALength) {
            if (Parts.empty())
              return false;
            Parts.back().content.append(AData, ALength);
            return true;
          });
      for (const httplib::MultipartFormData& Part : Parts)
        Request.Fields.append({QString::fromUtf8(Part.name), QString::fromUtf8(Part.content)});
    } else {
      std::string Body;
      (*AReader)([&](const char* AData, size_t ALength) {
        Body.append(AData, ALength);
        return true;
      });
      Request.Body = QByteArray::fromStdString(Body);
      // The client always labels its form; a body without a label is read the same way.
      Request.Fields.append(ParseUrlEncoded(Request.Body));
    }
  }
  NoteForLog(AReq, Request.Fields);

  TRequestHook RequestHook;
  {
    std::lock_guard Guard(Lock);
    RequestHook = Hook;
  }
  if (RequestHook)
    RequestHook(Request);

  std::unique_lock Guard(Lock);
  const qint64 Seq = NextSeq++;
  Log.append({Seq, Request});
  Changed.notify_all();

  const auto Deadline = TSteady::now() + std::chrono::milliseconds(ReplyDelayMs);
  while (!Stopping && (Unresponsive || TSteady::now() < Deadline)) {
    if (Unresponsive)
      Changed.wait(Guard);
    else
      Changed.wait_until(Guard, Deadline);
  }

  TReply Reply;
  if (Stopping) {
    Reply = Text(503, QStringLiteral("The station is shutting down"));
  } else if (FixedReply &&
             (FixedReplyAction.isEmpty() ||
              FormValue(Request.Fields, QStringLiteral("action")) == FixedReplyAction)) {
    Reply = *FixedReply;
  } else {
    Guard.unlock();
    Reply = Dispatch(Request);
    Guard.lock();
  }
  for (qsizetype I = Log.size() - 1; I >= 0; --I)
    if (Log[I].Seq == Seq) {
      Log[I].Request.Status = Reply.Status;
      break;
    }
  Changed.notify_all();
  Guard.unlock();
  ARes.status = Reply.Status;
  ARes.set_content(Reply.Body.toStdString(), Reply.ContentType.toStdString());
}

TReply TStationServer::TImpl::Dispatch(const TStationRequest& ARequest)
{
  if (ARequest.Target != QLatin1String("/") && !ARequest.Target.startsWith(QLatin1String("/?")))
    return Text(404, QStringLiteral("Not found"));
  const QString User = FormValue(ARequest.Fields, QStringLiteral("user"));
  const QString Pass = FormValue(ARequest.Fields, QStringLiteral("pass"));
  {
    std::lock_guard Guard(Lock);
    if (User.isNull() || Pass.isNull() || User != Options.User || Pass != Options.Password)
      return Text(403, QStringLiteral("Access denied: wrong user name or password"));
  }

  const QString Action = FormValue(ARequest.Fields, QStringLiteral("action"));
  if (Action.isEmpty())
    return Text(400, QStringLiteral("Missing action"));
  if (Action == QLatin1String("vexmo")) {
    if (ARequest.Method != QLatin1String("POST"))
      return Text(405, QStringLiteral("Voice tracks are uploaded with POST"));
    return Upload(ARequest);
  }

  std::lock_guard Guard(Lock);
  const qint64 Now = CaughtUpNow();
  if (Action == QLatin1String("getplaylist2"))
    return {200, PlaylistXml(Playlist, Now), CXmlType};
  if (Action == QLatin1String("playbackinfo"))
    return {200, PlaybackXml(Playlist, Now), CXmlType};

  if (Action == QLatin1String("delete")) {
    const QString PosText = FormValue(ARequest.Fields, QStringLiteral("pos"));
    int Pos = 0;
    if (!ParsePosition(PosText, Pos))
      return Text(400, QStringLiteral("Invalid position: %1").arg(PosText));
    if (!Playlist.Remove(Pos - 1, Now))
      return Text(400, InvalidPosition(Pos, Playlist.Count()));
    return Text(200, QStringLiteral("OK"));
  }
  if (Action == QLatin1String("move")) {
    const QString FromText = FormValue(ARequest.Fields, QStringLiteral("pos1"));
    const QString ToText = FormValue(ARequest.Fields, QStringLiteral("pos2"));
    int From = 0;
    int To = 0;
    if (!ParsePosition(FromText, From))
      return Text(400, QStringLiteral("Invalid position: %1").arg(FromText));
    if (!ParsePosition(ToText, To))
      return Text(400, QStringLiteral("Invalid position: %1").arg(ToText));
    if (From < 1 || From > Playlist.Count())
      return Text(400, InvalidPosition(From, Playlist.Count()));
    if (!Playlist.Move(From - 1, To - 1))
      return Text(400, InvalidPosition(To, Playlist.Count()));
    return Text(200, QStringLiteral("OK"));
  }
  return Text(400, QStringLiteral("Unknown action: %1").arg(Action));
}

TReply TStationServer::TImpl::Upload(const TStationRequest& ARequest)
{
  const QString GivenName = FormValue(ARequest.Fields, QStringLiteral("fn"));
  if (GivenName.isEmpty())
    return Text(400, QStringLiteral("Missing file name"));
  const QString Name = SafeFileName(GivenName);
  if (Name.isEmpty())
    return Text(400, QStringLiteral("Invalid file name: %1").arg(GivenName));
  const QString PosText = FormValue(ARequest.Fields, QStringLiteral("pos"));
  int Pos = 0;
  if (!ParsePosition(PosText, Pos))
    return Text(400, QStringLiteral("Invalid position: %1").arg(PosText));
  const QString Encoded = FormValue(ARequest.Fields, QStringLiteral("vt"));
  if (Encoded.isNull())
    return Text(400, QStringLiteral("Missing voice track data"));

  // Decoding and checking run unlocked: a large upload must not stall the playlist replies.
  QByteArray Data;
  if (!DecodeBase64Lines(Encoded.toLatin1(), Data))
    return Text(400, QStringLiteral("%1: the voice track data is not valid Base64").arg(Name));
  TFlacInfo Info;
  QString FlacError;
  if (!ReadFlacInfo(Data, Info, FlacError))
    return Text(400, QStringLiteral("%1: %2").arg(Name, FlacError));

  std::lock_guard Guard(Lock);
  CaughtUpNow();
  if (Pos < 1 || Pos > Playlist.Count() + 1)
    return Text(400, InvalidPosition(Pos, Playlist.Count()));
  const QString Path = UniquePath(QDir(Storage), Name);
  QSaveFile File(Path);
  if (!File.open(QIODevice::WriteOnly) || File.write(Data) != Data.size() || !File.commit())
    return Text(500, QStringLiteral("Cannot store the voice track: %1").arg(File.errorString()));

  TStationEntry Entry;
  Entry.SongTitle = QFileInfo(Path).completeBaseName();
  Entry.DurationMs = Info.DurationMs();
  Entry.FileName = Path;
  Entry.VoiceTrack = true;
  Playlist.Insert(Pos - 1, Entry);
  return Text(200, QStringLiteral("OK"));
}

void TStationServer::TImpl::LogLine(const httplib::Request& AReq,
                                    const httplib::Response& ARes) const
{
  QString What = MaskedTarget(AReq.target);
  if (GLogNote.Request == &AReq)
    What += GLogNote.Form;
  GLogNote = {};
  const QString Line =
      QStringLiteral("%1 %2 %3 %4 -> %5 (%6 bytes)\n")
          .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
               QString::fromStdString(AReq.remote_addr), QString::fromStdString(AReq.method), What)
          .arg(ARes.status)
          .arg(ARes.body.size());
  std::fputs(Line.toLocal8Bit().constData(), stderr);
}

TStationServer::TStationServer(TStationOptions AOptions)
    : F(std::make_unique<TImpl>(std::move(AOptions)))
{}

TStationServer::~TStationServer()
{
  Stop();
}

bool TStationServer::Start()
{
  if (IsRunning())
    return true;
  F->Error.clear();

  if (F->Options.StorageFolder.isEmpty()) {
    if (!F->TempStorage) {
      F->TempStorage = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                       QStringLiteral("/vexmo-station-XXXXXX"));
      if (!F->TempStorage->isValid()) {
        F->Error = QStringLiteral("Cannot create a storage folder under %1: %2")
                       .arg(QDir::tempPath(), F->TempStorage->errorString());
        F->TempStorage.reset();
        return false;
      }
    }
    F->Storage = F->TempStorage->path();
  } else {
    F->Storage = QDir(F->Options.StorageFolder).absolutePath();
    if (!QDir().mkpath(F->Storage)) {
      F->Error = QStringLiteral("Cannot create the storage folder %1").arg(F->Storage);
      return false;
    }
  }

  const bool WantsTls = !F->Options.CertFile.isEmpty() || !F->Options.KeyFile.isEmpty();
  if (WantsTls) {
    if (F->Options.CertFile.isEmpty() || F->Options.KeyFile.isEmpty()) {
      F->Error = QStringLiteral("HTTPS needs both a certificate file and a key file");
      return false;
    }
    auto Server =
        std::make_unique<httplib::SSLServer>(QFile::encodeName(F->Options.CertFile).constData(),
                                             QFile::encodeName(F->Options.KeyFile).constData());
    if (!Server->is_valid()) {
      F->Error = QStringLiteral("Cannot use the certificate %1 with the key %2")
                     .arg(F->Options.CertFile, F->Options.KeyFile);
      return false;
    }
    F->Server = std::move(Server);
  } else {
    F->Server = std::make_unique<httplib::Server>();
  }
  F->Https = WantsTls;

  httplib::Server& Server = *F->Server;
  Server.Get(".*", [this](const httplib::Request& AReq, httplib::Response& ARes) {
    F->Handle(AReq, ARes, nullptr);
  });
  Server.Post(".*",
              [this](const httplib::Request& AReq, httplib::Response& ARes,
                     const httplib::ContentReader& AReader) { F->Handle(AReq, ARes, &AReader); });
  Server.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& ARes) {
        // Replies of the station's own handler always carry a content type, even when empty.
        if (ARes.has_header("Content-Type"))
          return httplib::Server::HandlerResponse::Unhandled;
        const char* Text = ARes.status == 404   ? "Not found"
                           : ARes.status == 413 ? "Request too large"
                           : ARes.status == 405 ? "Method not allowed"
                                                : "Bad request";
        ARes.set_content(Text, CTextType);
        return httplib::Server::HandlerResponse::Handled;
      }));
  Server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& ARes, std::exception_ptr) {
        ARes.status = 500;
        ARes.set_content("Internal station error", CTextType);
      });
  if (F->Options.LogToStderr)
    Server.set_logger([this](const httplib::Request& AReq, const httplib::Response& ARes) {
      F->LogLine(AReq, ARes);
    });
  Server.set_payload_max_length(CMaxPayload);
  // The library's default also sets SO_REUSEPORT, which would let a second station bind the
  // same port silently; address reuse alone still allows a quick restart.
  Server.set_socket_options([](socket_t ASocket) {
    int Yes = 1;
    setsockopt(ASocket, SOL_SOCKET, SO_REUSEADDR, &Yes, sizeof(Yes));
  });
  // The client opens one connection per request; a short keep-alive keeps Stop() quick when
  // some other client leaves one open.
  Server.set_keep_alive_timeout(1);

  const std::string Host = F->Options.Address.toStdString();
  errno = 0;
  int Port = F->Options.Port;
  bool Bound = false;
  if (Port == 0) {
    Port = Server.bind_to_any_port(Host);
    Bound = Port > 0;
  } else {
    Bound = Server.bind_to_port(Host, Port);
  }
  if (!Bound) {
    const int Code = errno;
    F->Error = QStringLiteral("Cannot listen on %1 port %2: %3")
                   .arg(F->Options.Address)
                   .arg(F->Options.Port)
                   .arg(Code ? QString::fromLocal8Bit(std::strerror(Code))
                             : QStringLiteral("address not available"));
    F->Server.reset();
    return false;
  }
  F->BoundPort = quint16(Port);
  {
    std::lock_guard Guard(F->Lock);
    F->Stopping = false;
  }

  F->Thread = std::thread([this] {
    // A client that hangs up early must not kill the process with SIGPIPE; the worker
    // threads inherit this mask from here.
    sigset_t Set;
    sigemptyset(&Set);
    sigaddset(&Set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &Set, nullptr);
    F->Server->listen_after_bind();
  });
  const auto Deadline = TSteady::now() + std::chrono::seconds(10);
  while (!F->Server->is_running() && TSteady::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (!F->Server->is_running()) {
    Stop();
    F->Error = QStringLiteral("The server did not start listening");
    return false;
  }
  if (F->Options.LogToStderr)
    std::fprintf(stderr, "vexmo-station: serving %s/ (user %s), voice tracks go to %s\n",
                 BaseUrl().toLocal8Bit().constData(), F->Options.User.toLocal8Bit().constData(),
                 QDir::toNativeSeparators(F->Storage).toLocal8Bit().constData());
  return true;
}

void TStationServer::Stop()
{
  if (!F->Server)
    return;
  {
    std::lock_guard Guard(F->Lock);
    F->Stopping = true;
    F->Changed.notify_all();
  }
  F->Server->stop();
  if (F->Thread.joinable())
    F->Thread.join();
  F->Server.reset();
  F->BoundPort = 0;
}

bool TStationServer::IsRunning() const
{
  return F->Server && F->Server->is_running();
}

QString TStationServer::ErrorText() const
{
  return F->Error;
}

quint16 TStationServer::Port() const
{
  return F->BoundPort;
}

QString TStationServer::BaseUrl() const
{
  QString Host = F->Options.Address;
  if (Host.contains(QLatin1Char(':')))
    Host = QLatin1Char('[') + Host + QLatin1Char(']');
  return QStringLiteral("%1://%2:%3")
      .arg(F->Https ? QStringLiteral("https") : QStringLiteral("http"), Host)
      .arg(F->BoundPort);
}

QString TStationServer::StorageFolder() const
{
  return F->Storage;
}

bool TStationServer::IsHttps() const
{
  return F->Https;
}

void TStationServer::SetCredentials(const QString& AUser, const QString& APassword)
{
  std::lock_guard Guard(F->Lock);
  F->Options.User = AUser;
  F->Options.Password = APassword;
}

QList<TStationEntry> TStationServer::Playlist() const
{
  std::lock_guard Guard(F->Lock);
  return PlaylistSnapshot(F->Playlist, F->CaughtUpNow());
}

int TStationServer::Count() const
{
  std::lock_guard Guard(F->Lock);
  F->CaughtUpNow();
  return F->Playlist.Count();
}

void TStationServer::SetPlaylist(const QList<TStationEntry>& AEntries)
{
  std::lock_guard Guard(F->Lock);
  F->Playlist.Replace(AEntries, F->NowMs());
}

int TStationServer::PlayingPosition() const
{
  std::lock_guard Guard(F->Lock);
  F->CaughtUpNow();
  return F->Playlist.PlayingIndex() + 1;
}

bool TStationServer::SetPlayingPosition(int APosition, qint64 AElapsedMs)
{
  std::lock_guard Guard(F->Lock);
  const qint64 Now = F->CaughtUpNow();
  if (!F->Playlist.Play(APosition - 1, Now - AElapsedMs))
    return false;
  // An offset past the entry's end plays on from there, as the clock would have.
  F->Playlist.CatchUp(Now);
  return true;
}

void TStationServer::SkipToNext()
{
  std::lock_guard Guard(F->Lock);
  F->Playlist.Skip(F->CaughtUpNow());
}

QDateTime TStationServer::Now() const
{
  std::lock_guard Guard(F->Lock);
  return QDateTime::fromMSecsSinceEpoch(F->NowMs());
}

void TStationServer::SetTime(const QDateTime& ANow)
{
  std::lock_guard Guard(F->Lock);
  const qint64 Old = F->CaughtUpNow();
  const qint64 Now = ANow.toMSecsSinceEpoch();
  // Setting the clock is not time passing: the same entry stays on air, as far into it as
  // before, so that start times follow from the new clock alone.
  if (F->Playlist.PlayingIndex() >= 0)
    F->Playlist.Play(F->Playlist.PlayingIndex(), Now - F->Playlist.ElapsedMs(Old));
  F->ClockRunning = false;
  F->ClockBaseMs = Now;
}

void TStationServer::AdvanceTime(qint64 AMs)
{
  std::lock_guard Guard(F->Lock);
  F->ClockBaseMs = F->NowMs() + qMax<qint64>(AMs, 0);
  F->ClockBaseSteady = TSteady::now();
  F->Playlist.CatchUp(F->ClockBaseMs);
}

void TStationServer::RunClock()
{
  std::lock_guard Guard(F->Lock);
  F->ClockBaseMs = F->NowMs();
  F->ClockBaseSteady = TSteady::now();
  F->ClockRunning = true;
}

void TStationServer::SetReplyDelay(int AMs)
{
  std::lock_guard Guard(F->Lock);
  F->ReplyDelayMs = qMax(AMs, 0);
  F->Changed.notify_all();
}

void TStationServer::SetUnresponsive(bool AOn)
{
  std::lock_guard Guard(F->Lock);
  F->Unresponsive = AOn;
  F->Changed.notify_all();
}

void TStationServer::SetFixedReply(int AStatus, const QByteArray& ABody,
                                   const QByteArray& AContentType)
{
  std::lock_guard Guard(F->Lock);
  F->FixedReply = TReply{AStatus, ABody, AContentType};
  F->FixedReplyAction.clear();
}

void TStationServer::SetFixedReplyFor(const QString& AAction, int AStatus, const QByteArray& ABody,
                                      const QByteArray& AContentType)
{
  std::lock_guard Guard(F->Lock);
  F->FixedReply = TReply{AStatus, ABody, AContentType};
  F->FixedReplyAction = AAction;
}

void TStationServer::ClearFixedReply()
{
  std::lock_guard Guard(F->Lock);
  F->FixedReply.reset();
  F->FixedReplyAction.clear();
}

void TStationServer::SetRequestHook(TRequestHook AHook)
{
  std::lock_guard Guard(F->Lock);
  F->Hook = std::move(AHook);
}

QList<TStationRequest> TStationServer::Requests() const
{
  std::lock_guard Guard(F->Lock);
  QList<TStationRequest> Result;
  Result.reserve(F->Log.size());
  for (const auto& Logged : F->Log)
    Result.append(Logged.Request);
  return Result;
}

int TStationServer::RequestCount() const
{
  std::lock_guard Guard(F->Lock);
  return F->Log.size();
}

void TStationServer::ClearRequests()
{
  std::lock_guard Guard(F->Lock);
  F->Log.clear();
}

bool TStationServer::WaitForRequests(int ACount, int ATimeoutMs) const
{
  std::unique_lock Guard(F->Lock);
  return F->Changed.wait_for(Guard, std::chrono::milliseconds(ATimeoutMs),
                             [&] { return F->Log.size() >= ACount; });
}
