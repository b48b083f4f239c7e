// A private PulseAudio server whose microphone "vmic" is a pipe source that the test feeds
// (44.1 kHz mono float), with a null sink for playback, and the sounds to feed it: speech from
// espeak-ng with silence around it, and sines.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TMicServer
{
public:
  static constexpr int Rate = 44100;

  TMicServer();
  ~TMicServer();
  TMicServer(const TMicServer&) = delete;
  TMicServer& operator=(const TMicServer&) = delete;

  bool Running() const { return FFailure.empty(); }
  const std::string& Failure() const { return FFailure; }
  // The value for PULSE_SERVER.
  QByteArray Address() const { return FAddress; }

  // Feeds ASamples into the microphone at real-time pace, then silence until StopFeeding.
  void Feed(std::vector<float> ASamples);
  void StopFeeding();
  // Whether a recording stream is connected to the microphone.
  bool HasRecorder() const;

private:
  std::unique_ptr<QTemporaryDir> FDir;
  std::unique_ptr<QProcess> FProcess;
  QByteArray FAddress;
  QString FFifo;
  std::string FFailure;
  std::thread FFeeder;
  std::atomic<bool> FStop{false};
};

// espeak-ng saying AText at 44.1 kHz mono, with ASilence seconds of silence before and after.
// Empty when espeak-ng or sox is missing.
std::vector<float> Speech(const QString& AText, double ASilence);
// A sine of AFreq hertz at APeakDb dBFS.
std::vector<float> Sine(double ASeconds, double APeakDb, double AFreq = 1000.0);
// Frames (at 44.1 kHz) of the first and one past the last sample louder than AThresholdDb.
std::pair<int64_t, int64_t> LoudRange(const std::vector<float>& ASamples, double AThresholdDb);
