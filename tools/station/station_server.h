// A local station: an HTTP(S) server that speaks the automation program's remote-control
// interface (playlist, playing position, delete, move, voice-track upload). The demo runs it as
// vexmo-station; tests run it in-process and steer it through the knobs below.
#pragma once

#include "station_playlist.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

struct TStationOptions
{
  QString Address = QStringLiteral("127.0.0.1");
  quint16 Port = 0; // 0 picks a free port; Port() tells which
  QString User = QStringLiteral("demo");
  QString Password = QStringLiteral("demo");
  int Entries = 40;
  // Played entries kept above the one on air; older ones drop off. -1 keeps every one.
  int KeepPlayed = 3;
  // Whether the scheduler tops the playlist up (back to Entries) as entries end.
  bool AutoFill = true;
  // Where uploaded voice tracks are stored; empty: a temporary folder removed with the server.
  QString StorageFolder;
  // Both set: HTTPS with this PEM certificate and key.
  QString CertFile;
  QString KeyFile;
  // Picks the rotation; the same seed gives the same playlist.
  quint32 Seed = 1;
  // One line per request on stderr.
  bool LogToStderr = true;
  // Rolling log: an entry ends after RollMs on air (on the station's clock) when it is longer,
  // as if the presenter had pressed "next", so that played entries leave the top and the
  // rotation appends new ones far faster than songs end. 0: entries play to their end.
  qint64 RollMs = 0;
};

// One request as the station received it.
struct TStationRequest
{
  QString Method;                         // "GET", "POST"
  QString Target;                         // path and query exactly as sent
  QList<QPair<QString, QString>> Headers; // names as sent
  QByteArray ContentType;
  QByteArray Body;                       // raw, as received
  QList<QPair<QString, QString>> Fields; // decoded query and form fields, in order
  int Status = 0;                        // 0 while the reply is still held back
};

class TStationServer
{
public:
  explicit TStationServer(TStationOptions AOptions = {});
  ~TStationServer(); // stops
  TStationServer(const TStationServer&) = delete;
  TStationServer& operator=(const TStationServer&) = delete;

  // Binds, starts serving on a thread of its own and returns once it listens. False with
  // ErrorText() when the address, the storage folder or the certificate cannot be used.
  bool Start();
  // Releases held requests and stops; safe to call twice. Start() may follow.
  void Stop();
  bool IsRunning() const;
  QString ErrorText() const;
  quint16 Port() const;
  QString BaseUrl() const; // "http://127.0.0.1:9000" (no final "/")
  QString StorageFolder() const;
  bool IsHttps() const;

  void SetCredentials(const QString& AUser, const QString& APassword);

  // The playlist with start times on the station's clock; entries that ended are caught up
  // first, as on every request.
  QList<TStationEntry> Playlist() const;
  int Count() const;
  // Replaces the playlist; its first entry goes on air now (an empty one leaves it stopped).
  void SetPlaylist(const QList<TStationEntry>& AEntries);
  // 1-based position of the entry on air, 0 when stopped.
  int PlayingPosition() const;
  // Puts entry APosition (1-based; 0 stops) on air, AElapsedMs into it. False if out of range.
  bool SetPlayingPosition(int APosition, qint64 AElapsedMs = 0);
  // Ends the entry on air now, as if it had played out (played entries drop, the list refills).
  void SkipToNext();

  // The station's clock (local time). It runs with the wall clock until SetTime() stops it at
  // a given moment, keeping the same entry on air as far into it as before (setting the clock
  // plays nothing forward). AdvanceTime() lets time pass, stopped clock or not: entries that
  // reach their end give way to the next. RunClock() lets the clock run on from its reading.
  QDateTime Now() const;
  void SetTime(const QDateTime& ANow);
  void AdvanceTime(qint64 AMs);
  void RunClock();

  // Misbehaviour for client tests: every reply waits AMs first; an unresponsive station
  // accepts requests and never answers them (until cleared or stopped); a fixed reply answers
  // every request with the given status, body and content type, after logging it.
  void SetReplyDelay(int AMs);
  void SetUnresponsive(bool AOn);
  void SetFixedReply(int AStatus, const QByteArray& ABody,
                     const QByteArray& AContentType = "text/plain; charset=utf-8");
  void ClearFixedReply();
  // The same, only for requests whose action is AAction ("delete", "vexmo", ...); others are
  // served normally. Cleared by ClearFixedReply().
  void SetFixedReplyFor(const QString& AAction, int AStatus, const QByteArray& ABody,
                        const QByteArray& AContentType = "text/plain; charset=utf-8");

  // Runs on the server's thread for every request as it arrives, before it is answered and
  // without the station's lock held, so that it may change the station (roll the log, edit the
  // playlist) at a chosen point of a client's exchange. Empty: none.
  using TRequestHook = std::function<void(const TStationRequest& ARequest)>;
  void SetRequestHook(TRequestHook AHook);
  // One step of the rolling log, now: the entry on air ends (SkipToNext). Also what RollMs does
  // on its own clock.
  void Roll() { SkipToNext(); }

  QList<TStationRequest> Requests() const;
  int RequestCount() const;
  void ClearRequests();
  // Blocks until at least ACount requests have arrived since the last ClearRequests().
  bool WaitForRequests(int ACount, int ATimeoutMs) const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};
