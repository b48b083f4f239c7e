// A program folder of its own, the settings objects, a local station and stand-ins for the
// dialogs, for tests that drive the real main window on the offscreen platform.
#pragma once

#include "api/request_worker.h"
#include "app/main_frm.h"
#include "app/playlist_model.h"
#include "app/playlist_view.h"
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "station_server.h"
#include "support/message_box_recorder.h"
#include "ui_common/file_dialogs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

inline std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// Runs the event loop until APredicate holds; false when AMs pass first.
inline bool WaitFor(const std::function<bool()>& APredicate, int AMs = 10000)
{
  QDeadlineTimer Deadline(AMs);
  while (!APredicate()) {
    if (Deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// A station entry of a given length.
inline TStationEntry Entry(const QString& AArtist, const QString& ATitle, qint64 AMs = 180000)
{
  TStationEntry Result;
  Result.Artist = AArtist;
  Result.SongTitle = ATitle;
  Result.DurationMs = AMs;
  return Result;
}

inline QList<TStationEntry> Entries(int ACount, const QString& APrefix = QStringLiteral("Song"))
{
  QList<TStationEntry> Result;
  for (int I = 0; I < ACount; ++I)
    Result << Entry(QStringLiteral("Artist %1").arg(I + 1),
                    QStringLiteral("%1 %2").arg(APrefix).arg(I + 1));
  return Result;
}

// A FLAC stream as small as the station accepts: the header, a STREAMINFO block of one second
// of 44.1 kHz stereo, and the start of a frame.
inline QByteArray TinyFlac()
{
  QByteArray Data("fLaC");
  Data += QByteArray::fromHex("80000022");             // last block, STREAMINFO, 34 bytes
  Data += QByteArray::fromHex("10001000000000000000"); // block sizes, frame sizes
  Data += QByteArray::fromHex("0AC442F00000AC44");     // 44100 Hz, 2 ch, 16 bit, 44100 samples
  Data += QByteArray(16, '\0');                        // MD5
  Data += QByteArray::fromHex("FFF8690800");           // frame sync and a few bytes
  return Data;
}

class TAppFixture : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FFolder.isValid());
    InitProgramFolder(FFolder.path());
    InitDataFolder();
    Settings = new TSettings;
    PlayerIni = new TPlayerIni;
    SystemIni = new TSystemIni;
    FPreviousOpenFile = SetOpenFileHandler(
        [this](QWidget*, const QString& AFolder, const QString& AFilter, TFileChosen ADone) {
          ++DialogCount;
          DialogFolder = AFolder;
          DialogFilter = AFilter;
          if (WhileDialogOpen)
            WhileDialogOpen();
          if (!NextFile.isEmpty())
            ADone(NextFile);
        });
  }

  void TearDown() override
  {
    Windows.clear();
    TAPI::AbandonAll();
    for (auto& Station : Stations)
      Station->Stop();
    // Abandoned workers end on their own; the settings must outlive them.
    WaitFor([] { return TAPI::LiveCount() == 0; });
    QCoreApplication::sendPostedEvents();
    Stations.clear();
    SetOpenFileHandler(FPreviousOpenFile);
    delete Settings;
    Settings = nullptr;
    delete PlayerIni;
    PlayerIni = nullptr;
    delete SystemIni;
    SystemIni = nullptr;
  }

  QString Folder() const { return FFolder.path() + QLatin1Char('/'); }

  // A station with AEntries on a clock that stands still, so that nothing moves by itself.
  TStationServer& StartStation(const QList<TStationEntry>& AEntries)
  {
    TStationOptions Options;
    Options.LogToStderr = false;
    Options.AutoFill = false;
    Options.KeepPlayed = -1;
    Options.Entries = 0;
    auto Station = std::make_unique<TStationServer>(Options);
    EXPECT_TRUE(Station->Start()) << Str(Station->ErrorText());
    Station->SetTime(QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0)));
    Station->SetPlaylist(AEntries);
    Stations.push_back(std::move(Station));
    return *Stations.back();
  }

  static void ConnectTo(const TStationServer& AStation)
  {
    Settings->SetServer(QStringLiteral("127.0.0.1"));
    Settings->SetPort(AStation.Port());
    Settings->SetUser(QStringLiteral("demo"));
    Settings->SetPass(QStringLiteral("demo"));
  }

  // A main window as the program makes it, shown; the timer is stopped so that the test drives
  // the ticks.
  TMainFrm* ShowMainWindow()
  {
    Windows.push_back(std::make_unique<TMainFrm>());
    TMainFrm* Window = Windows.back().get();
    Window->tmrMain->stop();
    Window->show();
    return Window;
  }

  // Closes and destroys the window as at the end of a run (settings.ini is written).
  void CloseAndDestroy(TMainFrm* AWindow)
  {
    AWindow->close();
    for (auto It = Windows.begin(); It != Windows.end(); ++It)
      if (It->get() == AWindow) {
        Windows.erase(It);
        break;
      }
  }

  static bool WaitForRefresh(TMainFrm* AWindow)
  {
    return WaitFor([AWindow] { return !AWindow->UpdatingPlaylist(); });
  }

  static bool Refresh(TMainFrm* AWindow)
  {
    AWindow->RefreshPlaylist();
    return WaitForRefresh(AWindow);
  }

  static QString Cell(TMainFrm* AWindow, int ARow, int AColumn)
  {
    return AWindow->Model()->index(ARow, AColumn).data().toString();
  }

  // Requests of one action the station received.
  static QList<TStationRequest> RequestsFor(const TStationServer& AStation, const QString& AAction)
  {
    QList<TStationRequest> Result;
    for (const TStationRequest& Request : AStation.Requests())
      for (const auto& Field : Request.Fields)
        if (Field.first == QLatin1String("action") && Field.second == AAction)
          Result << Request;
    return Result;
  }

  static QString Field(const TStationRequest& ARequest, const QString& AName)
  {
    for (const auto& Pair : ARequest.Fields)
      if (Pair.first == AName)
        return Pair.second;
    return {};
  }

  TMessageBoxRecorder Boxes;
  QString NextFile;                      // what the file dialog stand-in picks; empty: cancelled
  std::function<void()> WhileDialogOpen; // runs while the stand-in dialog is "open"
  int DialogCount = 0;
  QString DialogFolder;
  QString DialogFilter;
  std::vector<std::unique_ptr<TMainFrm>> Windows;
  std::vector<std::unique_ptr<TStationServer>> Stations;

private:
  QTemporaryDir FFolder{QDir::tempPath() + QStringLiteral("/vexmo app XXXXXX")};
  TOpenFileHandler FPreviousOpenFile;
};
