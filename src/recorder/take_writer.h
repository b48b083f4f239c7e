// Streams a take to disk while it is recorded. The audio callback hands its blocks to Push, which
// never blocks or allocates; a writer thread drains the ring into the take file, updates the
// waveform overview, and flushes the file about once a second. A block that finds the ring full
// is dropped and counted. When the disk refuses data the writer stops, keeps what was written,
// and Failed() turns true with the reason in Error().
#pragma once

#include "recorder/sample_ring.h"
#include "recorder/take_file.h"
#include "recorder/wave_overview.h"

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class TTakeWriter
{
public:
  // ARingSeconds of audio fit in the ring before blocks are dropped.
  explicit TTakeWriter(double ARingSeconds = 10.0);
  ~TTakeWriter();
  TTakeWriter(const TTakeWriter&) = delete;
  TTakeWriter& operator=(const TTakeWriter&) = delete;

  // Creates the take file and starts the writer thread. False with Error() on failure.
  bool Start(const QString& APath, int ARate, int AChans);
  // Audio thread: hands over AFrames frames. False when they were dropped (ring full, or
  // the writer has stopped).
  bool Push(const float* ASamples, int64_t AFrames);
  // Writes what is left in the ring, flushes and closes the file. Returns false when the take
  // file failed at any point (see Error()).
  bool Stop();

  bool Running() const { return FThread.joinable(); }
  bool Failed() const { return FFailed.load(std::memory_order_acquire); }
  QString Error() const;
  QString Path() const { return FPath; }
  int Rate() const { return FRate; }
  int Chans() const { return FChans; }
  // Frames safely in the take file (written, not necessarily flushed yet).
  int64_t FramesWritten() const { return FFramesWritten.load(std::memory_order_acquire); }
  // Blocks dropped because the ring was full, and their frames, during the current or last take.
  uint64_t Overflows() const { return FRing ? FRing->Overflows() - FOverflowsBefore : 0; }
  uint64_t DroppedFrames() const
  {
    return FRing && FChans ? (FRing->DroppedSamples() - FDroppedBefore) / uint64_t(FChans) : 0;
  }
  TWaveOverview& Overview() { return FOverview; }

  // How often the header is patched and the data flushed, in milliseconds (tests shorten it).
  void SetFlushInterval(int AMilliseconds) { FFlushMs = AMilliseconds; }

private:
  void Run();

  double FRingSeconds;
  std::unique_ptr<TSampleRing> FRing;
  TTakeFile FFile;
  TWaveOverview FOverview;
  std::thread FThread;
  std::atomic<bool> FStopping{false};
  std::atomic<bool> FFailed{false};
  std::atomic<int64_t> FFramesWritten{0};
  mutable std::mutex FErrorLock;
  QString FError;
  QString FPath;
  int FRate = 0;
  int FChans = 0;
  int FFlushMs = 1000;
  uint64_t FOverflowsBefore = 0;
  uint64_t FDroppedBefore = 0;
};
