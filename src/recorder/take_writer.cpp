#include "recorder/take_writer.h"

#include <chrono>
#include <vector>

TTakeWriter::TTakeWriter(double ARingSeconds) : FRingSeconds(ARingSeconds) {}

TTakeWriter::~TTakeWriter()
{
  Stop();
}

bool TTakeWriter::Start(const QString& APath, int ARate, int AChans)
{
  Stop();
  FPath = APath;
  FRate = ARate;
  FChans = AChans;
  FFailed = false;
  FStopping = false;
  FFramesWritten = 0;
  FOverview.Clear();
  {
    std::lock_guard Guard(FErrorLock);
    FError.clear();
  }
  // The ring outlives a take, so that a recording callback that read the recording switch just
  // before a take ended never pushes into a freed ring; what such a late push left is dropped.
  const size_t Capacity = size_t(FRingSeconds * ARate) * size_t(AChans);
  if (!FRing || FRing->Capacity() < Capacity)
    FRing = std::make_unique<TSampleRing>(Capacity);
  std::vector<float> Stale(4096);
  while (FRing->Pop(Stale.data(), Stale.size()) > 0)
    ;
  FOverflowsBefore = FRing->Overflows();
  FDroppedBefore = FRing->DroppedSamples();
  if (!FFile.Create(APath, ARate, AChans)) {
    std::lock_guard Guard(FErrorLock);
    FError = FFile.Error();
    FFailed = true;
    return false;
  }
  FThread = std::thread([this] { Run(); });
  return true;
}

bool TTakeWriter::Push(const float* ASamples, int64_t AFrames)
{
  if (!FRing || FFailed.load(std::memory_order_relaxed))
    return false;
  return FRing->Push(ASamples, size_t(AFrames) * size_t(FChans));
}

void TTakeWriter::Run()
{
  using namespace std::chrono;
  // About 50 ms of audio per write.
  std::vector<float> Block(size_t(std::max(FRate / 20, 256)) * size_t(FChans));
  auto LastFlush = steady_clock::now();
  for (;;) {
    const bool Stopping = FStopping.load(std::memory_order_acquire);
    size_t Got = FRing->Pop(Block.data(), Block.size() / FChans * FChans);
    while (Got > 0 && !FFailed) {
      const int64_t Frames = int64_t(Got) / FChans;
      if (!FFile.Write(Block.data(), Frames)) {
        std::lock_guard Guard(FErrorLock);
        FError = FFile.Error();
        FFailed.store(true, std::memory_order_release);
        break;
      }
      FOverview.Append(Block.data(), Frames, FChans);
      FFramesWritten.store(FFile.FramesWritten(), std::memory_order_release);
      Got = FRing->Pop(Block.data(), Block.size() / FChans * FChans);
    }
    if (FFailed || Stopping)
      break;
    if (steady_clock::now() - LastFlush >= milliseconds(FFlushMs)) {
      if (!FFile.Flush()) {
        std::lock_guard Guard(FErrorLock);
        FError = FFile.Error();
        FFailed.store(true, std::memory_order_release);
        break;
      }
      LastFlush = steady_clock::now();
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  // Whatever reached the file is kept, also after a failure.
  if (!FFile.Close() && !FFailed) {
    std::lock_guard Guard(FErrorLock);
    FError = FFile.Error();
    FFailed.store(true, std::memory_order_release);
  }
}

bool TTakeWriter::Stop()
{
  if (!FThread.joinable())
    return !FFailed;
  FStopping.store(true, std::memory_order_release);
  FThread.join();
  return !FFailed;
}

QString TTakeWriter::Error() const
{
  std::lock_guard Guard(FErrorLock);
  return FError;
}
