// Min/max summaries of a take for drawing its waveform: one pair per 256 frames and one per
// 65,536 frames, across all channels. They are appended to as blocks are written, so the
// waveform grows while the take is recorded, and drawing a long take never walks its samples.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

struct TMinMax
{
  float Min = 0.0f;
  float Max = 0.0f;
};

class TWaveOverview
{
public:
  static constexpr int64_t CFine = 256;
  static constexpr int64_t CCoarse = 65536;

  // Forgets everything; the next Append starts at frame 0.
  void Clear();
  // Called by one writer at a time (any thread).
  void Append(const float* ASamples, int64_t AFrames, int AChans);
  int64_t Frames() const;

  // One min/max pair per column: column i covers the frames from AStart + i * AFramesPerColumn
  // on. Columns past the end are empty (0, 0). AFine, when given, holds the take's samples for
  // views closer than one summary per column.
  void Columns(int64_t AStart, double AFramesPerColumn, int AColumns, std::vector<TMinMax>& AOut,
               const float* AFine = nullptr, int AChans = 1) const;

private:
  mutable std::mutex FLock;
  std::vector<TMinMax> FFineSums;
  std::vector<TMinMax> FCoarseSums;
  TMinMax FFineOpen{1.0f, -1.0f};
  TMinMax FCoarseOpen{1.0f, -1.0f};
  int64_t FFrames = 0;
};
