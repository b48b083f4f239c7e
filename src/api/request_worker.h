// The request worker: one thread per call to the station.
//
// The UI thread creates a worker with its callback, starts it with one request method and never
// touches it again except inside the callback. The worker builds the address from the
// connection settings, makes one HTTP exchange, reads the reply, runs the callback on the UI
// thread (waiting until it returns) and then deletes itself. Every request that starts ends in
// exactly one callback, failures included, unless AbandonAll() was called first.
//
//   auto* Worker = new TAPI(this, &TMainFrm::OnPlaylistReady);
//   Worker->GetPlaylistContents();
//   ...
//   void TMainFrm::OnPlaylistReady(TAPI* ASender)
//   {
//     if (ASender->Success())
//       FList = ASender->TakePlaylist();
//     else
//       ShowStatus(ASender->Error());
//   }
#pragma once

#include "api/http_exchange.h"
#include "api/playlist_item.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>

enum TRequest
{
  rqPlaylist,
  rqDelTrack,
  rqMoveTrack,
  rqPlaybackInfo
};

class TAPI;
class TUploadForm;

// Runs on the UI thread with the finished worker; the last moment anyone may touch it. Whatever
// the callback wants to keep it copies or takes over (TakePlaylist).
using TAPICallback = std::function<void(TAPI* ASender)>;

class TAPI : public QThread
{
  Q_OBJECT

public:
  // On the UI thread (a QCoreApplication must exist). The worker is not started yet.
  explicit TAPI(TAPICallback AReadyCallback);
  // A method of a QObject living on the UI thread; if the object is deleted before the reply
  // arrives, the callback is skipped.
  template <class TReceiver>
  TAPI(TReceiver* AReceiver, void (TReceiver::*AMethod)(TAPI*))
      : TAPI(TAPICallback([Receiver = QPointer<TReceiver>(AReceiver), AMethod](TAPI* ASender) {
          if (Receiver)
            (Receiver.data()->*AMethod)(ASender);
        }))
  {
    static_assert(std::is_base_of_v<QObject, TReceiver>, "the receiver must be a QObject");
  }
  // Only for a worker that was never started (InsertVoiceTrack threw); a started worker deletes
  // itself.
  ~TAPI() override;

  // The request methods set the request and start the worker; each worker serves one request.
  void GetPlaylistContents();
  void GetPlaybackInfo();
  // AIndex is the 0-based row; the station is sent AIndex + 1.
  void DeletePlaylistTrack(int AIndex);
  // 0-based rows; the station is sent AFrom + 1 and ATo + 1.
  void MovePlaylistTrack(int AFrom, int ATo);
  // AIndex is the 1-based position the new entry takes, AFN the FLAC file. Opens the file and
  // reads its first piece here, on the calling thread, then starts; the worker streams the form
  // while it sends it. Throws TStreamError (see api/upload_form.h) when the file cannot be
  // opened or read: then nothing is sent, the worker was not started, and the caller deletes it.
  // A file that changes or goes away during the upload fails the request. Any 2xx reply counts
  // as success.
  void InsertVoiceTrack(int AIndex, const QString& AFN);

  // For the owner at shut-down, on the UI thread: every worker in flight is told to give up. It
  // runs no callback and emits no further progress, its transfer is cut off at once, and it
  // deletes itself when its thread ends, without anyone waiting for it. Destroying the
  // QCoreApplication does the same for workers still running then.
  static void AbandonAll();
  // Workers started whose thread has not finished its work yet.
  static int LiveCount();

  // Results, for the callback.
  bool Success() const { return FSuccess; }
  QString Error() const { return FError; }
  TRequest Request() const { return FRequest; }
  int Param1() const { return FParam1; }
  int Param2() const { return FParam2; }
  bool IsUpload() const { return FIsUpload; }
  // How a failed exchange failed: the HTTP status of an error reply (0: none arrived), and the
  // kind of network failure (nfNone when a reply arrived or no server is configured).
  long HttpStatus() const { return FHttpStatus; }
  TNetworkFailure NetworkFailure() const { return FNetworkFailure; }
  bool IsNotConfigured() const { return FNotConfigured; }
  TPlaybackInfo PlaybackInfo() const { return FPlaybackInfo; }
  // The parsed playlist, or none (failure, other requests, or already taken).
  const TPlaylist* Playlist() const { return FPlaylist.get(); }
  std::unique_ptr<TPlaylist> TakePlaylist() { return std::move(FPlaylist); }

Q_SIGNALS:
  // Upload progress, emitted from the worker thread a few times a second at most and once when
  // the whole form has gone; connect with a receiver on the UI thread (queued).
  void UploadProgress(qint64 ASent, qint64 ATotal);

protected:
  // Execute: the request's body, then the worker is deleted on the UI thread.
  void run() override;

private:
  friend class TAPIDispatcher;

  void Start();
  void DoGetPlaylist();
  void DoGetPlaybackInfo();
  void DoDeleteTrack();
  void DoMoveTrack();
  // The one exchange. False: the failure is in FError and the callback has run.
  bool SendRequest(const QString& AParams, QString& AReply);
  void CheckReply(const QString& AReply);
  void Fail(const QString& AError);
  // Runs the callback on the UI thread and waits for it; at most once per worker.
  void DoCallback();

  TAPICallback FReadyCallback;
  std::unique_ptr<TPlaylist> FPlaylist;
  QString FError;
  TRequest FRequest = rqPlaylist;
  bool FSuccess = false;
  int FParam1 = 0;
  int FParam2 = 0;
  std::unique_ptr<TUploadForm> FForm;
  bool FIsUpload = false;
  TPlaybackInfo FPlaybackInfo;
  long FHttpStatus = 0;
  TNetworkFailure FNetworkFailure = nfNone;
  bool FNotConfigured = false;

  bool FStarted = false;
  bool FCallbackDone = false;
  std::atomic<bool> FAbandoned{false};
  TTransferControl FControl;
};
