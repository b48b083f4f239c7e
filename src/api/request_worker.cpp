#include "api/request_worker.h"

#include "api/start_time.h"
#include "api/station_address.h"
#include "api/upload_form.h"
#include "base/xml_scanner.h"
#include "settings/connection_settings.h"

#include <QCoreApplication>
#include <QEvent>
#include <condition_variable>
#include <mutex>
#include <unordered_set>

// Workers reach the UI thread through one object living there. The hand-over is built on
// std::mutex rather than on Qt's blocking queued calls so that it can be withdrawn at shut-down:
// a worker posts its callback only while holding the registry lock, and whoever abandons the
// workers or tears the dispatcher down holds the same lock, so no worker posts to an object that
// is gone, and a worker waiting for its callback is always woken (the event's destructor
// releases it, whether the event was delivered or thrown away).
class TAPIDispatcher : public QObject
{
public:
  static const QEvent::Type CallbackEvent;
  static const QEvent::Type ReapEvent;

  bool event(QEvent* AEvent) override;
  static void Abandon(TAPI* AWorker);
};

const QEvent::Type TAPIDispatcher::CallbackEvent =
    static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type TAPIDispatcher::ReapEvent =
    static_cast<QEvent::Type>(QEvent::registerEventType());

namespace {

const QString NotConfigured = QStringLiteral("Connection not configured. Please open Settings.");

struct TRegistry
{
  std::mutex Mutex;
  std::unordered_set<TAPI*> Live;
  TAPIDispatcher* Dispatcher = nullptr;
};

// Never destroyed: a worker may still finish while the process runs its exit handlers.
TRegistry& Registry()
{
  static TRegistry* Instance = new TRegistry;
  return *Instance;
}

class TWaiter
{
public:
  void Release()
  {
    std::lock_guard Guard(FMutex);
    FDone = true;
    FCondition.notify_all();
  }
  void Wait()
  {
    std::unique_lock Guard(FMutex);
    FCondition.wait(Guard, [this] { return FDone; });
  }

private:
  std::mutex FMutex;
  std::condition_variable FCondition;
  bool FDone = false;
};

// Orders an event made on a worker thread before the UI thread reads its type. Qt's event
// queue does that too, but inside the Qt library, where ThreadSanitizer cannot see it. Held only
// for an instant and never around a call into Qt, so the UI thread can take it in any event.
std::mutex EventHandOver;

class TWorkerEvent : public QEvent
{
public:
  TWorkerEvent(QEvent::Type AType, TAPI* AWorker, TWaiter* AWaiter = nullptr)
      : QEvent(AType), Worker(AWorker), Waiter(AWaiter)
  {
    std::lock_guard Guard(EventHandOver);
  }
  ~TWorkerEvent() override
  {
    if (Waiter)
      Waiter->Release();
  }
  TAPI* const Worker;
  TWaiter* const Waiter;
};

// Qt calls this while the application object is destroyed, on the UI thread. Without a UI
// thread no callback can run any more: every worker still running is abandoned.
void OnApplicationGone()
{
  TRegistry& Reg = Registry();
  TAPIDispatcher* Dispatcher;
  {
    std::lock_guard Guard(Reg.Mutex);
    Dispatcher = Reg.Dispatcher;
  }
  // Workers that have finished already can still be deleted properly.
  if (Dispatcher)
    QCoreApplication::sendPostedEvents(Dispatcher, TAPIDispatcher::ReapEvent);
  std::lock_guard Guard(Reg.Mutex);
  for (TAPI* Worker : Reg.Live)
    TAPIDispatcher::Abandon(Worker);
  // Throws away pending callbacks, which wakes their workers; workers finishing later are left
  // to the end of the process.
  delete Reg.Dispatcher;
  Reg.Dispatcher = nullptr;
}

// Holds the settings lock for a scope, also when building the address throws.
class TSettingsLock
{
public:
  TSettingsLock() { Settings->Lock(); }
  ~TSettingsLock() { Settings->Unlock(); }
  TSettingsLock(const TSettingsLock&) = delete;
  TSettingsLock& operator=(const TSettingsLock&) = delete;
};

} // namespace

bool TAPIDispatcher::event(QEvent* AEvent)
{
  {
    std::lock_guard Guard(EventHandOver);
  }
  if (AEvent->type() == CallbackEvent) {
    auto* Event = static_cast<TWorkerEvent*>(AEvent);
    TAPI* Worker;
    {
      // Also orders the worker's results before everything the callback reads.
      std::lock_guard Guard(Registry().Mutex);
      Worker = Event->Worker;
    }
    // AbandonAll runs on this thread too, so the flag cannot change under the callback.
    if (!Worker->FAbandoned.load() && Worker->FReadyCallback)
      Worker->FReadyCallback(Worker);
    return true; // the event's destructor lets the worker go on
  }
  if (AEvent->type() == ReapEvent) {
    TAPI* Worker;
    {
      std::lock_guard Guard(Registry().Mutex);
      Worker = static_cast<TWorkerEvent*>(AEvent)->Worker;
    }
    Worker->wait(); // only the last few instructions of the thread are left
    delete Worker;
    return true;
  }
  return QObject::event(AEvent);
}

void TAPIDispatcher::Abandon(TAPI* AWorker)
{
  AWorker->FAbandoned.store(true);
  AWorker->FControl.Cancel();
}

TAPI::TAPI(TAPICallback AReadyCallback) : FReadyCallback(std::move(AReadyCallback))
{
  QCoreApplication* App = QCoreApplication::instance();
  Q_ASSERT_X(App, "TAPI", "request workers need a QCoreApplication");
  TRegistry& Reg = Registry();
  std::lock_guard Guard(Reg.Mutex);
  if (!Reg.Dispatcher && App) {
    Reg.Dispatcher = new TAPIDispatcher;
    Reg.Dispatcher->moveToThread(App->thread());
    qAddPostRoutine(OnApplicationGone);
  }
}

TAPI::~TAPI() = default;

void TAPI::GetPlaylistContents()
{
  FRequest = rqPlaylist;
  Start();
}

void TAPI::GetPlaybackInfo()
{
  FRequest = rqPlaybackInfo;
  Start();
}

void TAPI::DeletePlaylistTrack(int AIndex)
{
  FRequest = rqDelTrack;
  FParam1 = AIndex + 1;
  Start();
}

void TAPI::MovePlaylistTrack(int AFrom, int ATo)
{
  FRequest = rqMoveTrack;
  FParam1 = AFrom + 1;
  FParam2 = ATo + 1;
  Start();
}

void TAPI::InsertVoiceTrack(int AIndex, const QString& AFN)
{
  QString User, Pass;
  if (Settings) {
    TSettingsLock Guard;
    User = Settings->User();
    Pass = Settings->Pass();
  }
  // The kind stays rqPlaylist: the form's presence makes the exchange a POST.
  FForm = std::make_unique<TUploadForm>(User, Pass, AFN, AIndex);
  FIsUpload = true;
  Start();
}

void TAPI::Start()
{
  Q_ASSERT_X(!FStarted, "TAPI", "a worker serves one request");
  if (FStarted)
    return;
  FStarted = true;
  {
    std::lock_guard Guard(Registry().Mutex);
    Registry().Live.insert(this);
  }
  start();
}

void TAPI::AbandonAll()
{
  TRegistry& Reg = Registry();
  std::lock_guard Guard(Reg.Mutex);
  for (TAPI* Worker : Reg.Live)
    TAPIDispatcher::Abandon(Worker);
  // Workers waiting for their callback are let go now rather than when the UI thread gets to
  // the event.
  if (Reg.Dispatcher)
    QCoreApplication::removePostedEvents(Reg.Dispatcher, TAPIDispatcher::CallbackEvent);
}

int TAPI::LiveCount()
{
  std::lock_guard Guard(Registry().Mutex);
  return int(Registry().Live.size());
}

void TAPI::run()
{
  try {
    switch (FRequest) {
    case rqPlaylist:
      DoGetPlaylist();
      break;
    case rqDelTrack:
      DoDeleteTrack();
      break;
    case rqMoveTrack:
      DoMoveTrack();
      break;
    case rqPlaybackInfo:
      DoGetPlaybackInfo();
      break;
    }
  } catch (const std::exception& E) {
    Fail(QString::fromLocal8Bit(E.what()));
  } catch (...) {
    Fail(QStringLiteral("The station's reply could not be read."));
  }
  // Whatever happened, the owner's in-flight flags are only cleared by the callback.
  if (!FCallbackDone)
    Fail(FError.isEmpty() ? QStringLiteral("The request ended without a result.") : FError);

  TRegistry& Reg = Registry();
  std::lock_guard Guard(Reg.Mutex);
  Reg.Live.erase(this);
  if (Reg.Dispatcher)
    QCoreApplication::postEvent(Reg.Dispatcher, new TWorkerEvent(TAPIDispatcher::ReapEvent, this));
  // Without a UI thread nobody can delete the object any more; it is left to the process's end.
}

void TAPI::Fail(const QString& AError)
{
  if (FCallbackDone)
    return;
  FSuccess = false;
  FError = AError;
  FPlaylist.reset();
  DoCallback();
}

void TAPI::DoCallback()
{
  if (FCallbackDone)
    return;
  FCallbackDone = true;
  TWaiter Waiter;
  {
    TRegistry& Reg = Registry();
    std::lock_guard Guard(Reg.Mutex);
    if (FAbandoned.load() || !Reg.Dispatcher)
      return;
    QCoreApplication::postEvent(Reg.Dispatcher,
                                new TWorkerEvent(TAPIDispatcher::CallbackEvent, this, &Waiter));
  }
  Waiter.Wait();
}

bool TAPI::SendRequest(const QString& AParams, QString& AReply)
{
  AReply.clear();
  QString URL;
  if (Settings) {
    TSettingsLock Guard;
    if (!Settings->Server().isEmpty())
      URL = FForm ? GetBaseURL(false) : GetBaseURL(true) + u'&' + AParams;
  }
  if (URL.isEmpty()) {
    FNotConfigured = true;
    Fail(NotConfigured);
    return false;
  }

  THttpProgress Progress;
  if (FForm)
    Progress = [this](qint64 ASent, qint64 ATotal) {
      if (!FAbandoned.load())
        Q_EMIT UploadProgress(ASent, ATotal);
    };
  // The form's length is counted here, off the UI thread; a file that fails meanwhile sends
  // nothing.
  if (FForm && !FForm->Prepare([this] { return FControl.Cancelled(); })) {
    Fail(FForm->Error());
    FForm.reset();
    return false;
  }
  THttpReply Reply =
      FForm ? HttpExchange(URL, *FForm, FControl, Progress) : HttpExchange(URL, nullptr, FControl);
  FForm.reset(); // closes the file
  if (!Reply.Delivered) {
    FNetworkFailure = Reply.Failure;
    Fail(Reply.NetworkError);
    return false;
  }
  QString Text = DecodeReplyBody(Reply.Body, Reply.ContentType);
  if (Reply.Status < 200 || Reply.Status > 299) {
    FHttpStatus = Reply.Status;
    // An error page without a body still says what went wrong.
    if (Text.trimmed().isEmpty())
      Text = HttpStatusText(Reply.Status, Reply.Reason);
    Fail(Text);
    return false;
  }
  AReply = std::move(Text);
  return true;
}

void TAPI::CheckReply(const QString& AReply)
{
  FSuccess = AReply == QLatin1String("OK");
  if (!FSuccess)
    FError = AReply;
}

void TAPI::DoGetPlaylist()
{
  QString Reply;
  if (!SendRequest(QStringLiteral("action=getplaylist2"), Reply))
    return;
  auto List = std::make_unique<TPlaylist>();
  const TStartTimeFormat StartTimes;
  TXmlParser Parser;
  Parser.LoadFromBuffer(Reply);
  while (Parser.Scan()) {
    if ((Parser.CurPartType == ptStartTag || Parser.CurPartType == ptEmptyTag) &&
        Parser.CurName.compare(QLatin1String("TRACK"), Qt::CaseInsensitive) == 0)
      List->push_back({Parser.CurAttr.Value(u"CASTTITLE"), Parser.CurAttr.Value(u"DURATION"),
                       StartTimes.Format(Parser.CurAttr.Value(u"STARTTIME"))});
  }
  FPlaylist = std::move(List);
  FSuccess = true;
  DoCallback();
}

void TAPI::DoGetPlaybackInfo()
{
  QString Reply;
  if (!SendRequest(QStringLiteral("action=playbackinfo"), Reply))
    return;
  TXmlParser Parser;
  Parser.LoadFromBuffer(Reply);
  while (Parser.Scan()) {
    if ((Parser.CurPartType == ptStartTag || Parser.CurPartType == ptEmptyTag) &&
        Parser.CurName.compare(QLatin1String("Playback"), Qt::CaseInsensitive) == 0) {
      const TNvpNode* Pos = Parser.CurAttr.Node(u"playlistpos");
      bool Ok = false;
      const int Value = Pos ? Pos->Value.trimmed().toInt(&Ok, 10) : 0;
      FPlaybackInfo.PlaylistPos = Ok ? Value : -1;
    }
  }
  FSuccess = true;
  DoCallback();
}

void TAPI::DoDeleteTrack()
{
  QString Reply;
  if (!SendRequest(QStringLiteral("action=delete&pos=%1").arg(FParam1), Reply))
    return;
  CheckReply(Reply);
  DoCallback();
}

void TAPI::DoMoveTrack()
{
  QString Reply;
  if (!SendRequest(QStringLiteral("action=move&pos1=%1&pos2=%2").arg(FParam1).arg(FParam2), Reply))
    return;
  CheckReply(Reply);
  DoCallback();
}
