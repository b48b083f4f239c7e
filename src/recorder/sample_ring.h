// A single-producer, single-consumer ring of interleaved float samples. The audio callback pushes,
// the writer thread pops; neither ever blocks or allocates once the ring exists. A push that does
// not fit is dropped whole and counted, so the take loses a block instead of stalling the sound
// server.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

class TSampleRing
{
public:
  // ACapacity floats (rounded up to a power of two).
  explicit TSampleRing(size_t ACapacity)
  {
    size_t Size = 1;
    while (Size < ACapacity)
      Size <<= 1;
    FBuffer.assign(Size, 0.0f);
    FMask = Size - 1;
  }

  size_t Capacity() const { return FBuffer.size(); }

  // Producer side. Copies all of ACount floats or none of them.
  bool Push(const float* ASamples, size_t ACount)
  {
    const uint64_t Head = FHead.load(std::memory_order_relaxed);
    const uint64_t Tail = FTail.load(std::memory_order_acquire);
    if (ACount > FBuffer.size() - static_cast<size_t>(Head - Tail)) {
      FOverflows.fetch_add(1, std::memory_order_relaxed);
      FDroppedSamples.fetch_add(ACount, std::memory_order_relaxed);
      return false;
    }
    const size_t Start = static_cast<size_t>(Head) & FMask;
    const size_t First = std::min(ACount, FBuffer.size() - Start);
    std::copy(ASamples, ASamples + First, FBuffer.data() + Start);
    std::copy(ASamples + First, ASamples + ACount, FBuffer.data());
    FHead.store(Head + ACount, std::memory_order_release);
    return true;
  }

  // Consumer side. Copies up to AMax floats, returns how many.
  size_t Pop(float* ADest, size_t AMax)
  {
    const uint64_t Tail = FTail.load(std::memory_order_relaxed);
    const uint64_t Head = FHead.load(std::memory_order_acquire);
    const size_t Count = std::min(AMax, static_cast<size_t>(Head - Tail));
    const size_t Start = static_cast<size_t>(Tail) & FMask;
    const size_t First = std::min(Count, FBuffer.size() - Start);
    std::copy(FBuffer.data() + Start, FBuffer.data() + Start + First, ADest);
    std::copy(FBuffer.data(), FBuffer.data() + (Count - First), ADest + First);
    FTail.store(Tail + Count, std::memory_order_release);
    return Count;
  }

  size_t Available() const
  {
    return static_cast<size_t>(FHead.load(std::memory_order_acquire) -
                               FTail.load(std::memory_order_acquire));
  }

  // Blocks that did not fit, and the floats they held.
  uint64_t Overflows() const { return FOverflows.load(std::memory_order_relaxed); }
  uint64_t DroppedSamples() const { return FDroppedSamples.load(std::memory_order_relaxed); }

private:
  std::vector<float> FBuffer;
  size_t FMask = 0;
  alignas(64) std::atomic<uint64_t> FHead{0};
  alignas(64) std::atomic<uint64_t> FTail{0};
  alignas(64) std::atomic<uint64_t> FOverflows{0};
  std::atomic<uint64_t> FDroppedSamples{0};
};
