// A private PulseAudio server for the tests that list capture endpoints, and a way to point the
// audio library at it (or at no server at all).
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>

// Runs "pulseaudio" in a 0700 runtime folder of its own with one null sink (whose monitor is a
// loopback endpoint) and, unless told to leave them out, the null source "source.null" ("Null
// Input") and two null sources "mic_a" and "mic_b" that share the description "Studio". Stopped
// by its process id.
class TPrivateSoundServer
{
public:
  enum TSources
  {
    WithSources,
    WithoutSources
  };
  explicit TPrivateSoundServer(TSources ASources = WithSources);
  ~TPrivateSoundServer();
  TPrivateSoundServer(const TPrivateSoundServer&) = delete;
  TPrivateSoundServer& operator=(const TPrivateSoundServer&) = delete;

  bool Running() const { return FFailure.empty(); }
  // Why the server could not start; empty when it runs.
  const std::string& Failure() const { return FFailure; }
  // The value for PULSE_SERVER.
  QByteArray Address() const { return FAddress; }

private:
  std::unique_ptr<QTemporaryDir> FDir;
  std::unique_ptr<QProcess> FProcess;
  QByteArray FAddress;
  std::string FFailure;
};

// Sets PULSE_SERVER for the lifetime of the object and restores it afterwards.
class TSoundServerOverride
{
public:
  explicit TSoundServerOverride(const QByteArray& AAddress);
  ~TSoundServerOverride();
  TSoundServerOverride(const TSoundServerOverride&) = delete;
  TSoundServerOverride& operator=(const TSoundServerOverride&) = delete;

private:
  QByteArray FOld;
  bool FHad = false;
};

// An address where no sound server listens, inside AFolder.
QByteArray NoSoundServerAddress(const QString& AFolder);

// Base of the tests that need the private server: one server per test suite; the tests are
// skipped, with the reason, where none can start.
template <TPrivateSoundServer::TSources ASources> class TSoundServerTestOf : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { FServer = new TPrivateSoundServer(ASources); }
  static void TearDownTestSuite()
  {
    delete FServer;
    FServer = nullptr;
  }
  void SetUp() override
  {
    if (!FServer->Running())
      GTEST_SKIP() << "No sound server for this test: " << FServer->Failure();
    FOverride = std::make_unique<TSoundServerOverride>(FServer->Address());
  }
  void TearDown() override { FOverride.reset(); }

  static inline TPrivateSoundServer* FServer = nullptr;
  std::unique_ptr<TSoundServerOverride> FOverride;
};
using TSoundServerTest = TSoundServerTestOf<TPrivateSoundServer::WithSources>;
// A server whose only capture endpoint is the monitor of its output: no microphone at all.
using TSoundServerWithoutSourcesTest = TSoundServerTestOf<TPrivateSoundServer::WithoutSources>;
