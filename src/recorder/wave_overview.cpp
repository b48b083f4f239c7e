#include "recorder/wave_overview.h"

#include <algorithm>
#include <cmath>

namespace {

void Merge(TMinMax& AInto, const TMinMax& AFrom)
{
  AInto.Min = std::min(AInto.Min, AFrom.Min);
  AInto.Max = std::max(AInto.Max, AFrom.Max);
}

bool IsEmpty(const TMinMax& AValue)
{
  return AValue.Min > AValue.Max;
}

} // namespace

void TWaveOverview::Clear()
{
  std::lock_guard Guard(FLock);
  FFineSums.clear();
  FCoarseSums.clear();
  FFineOpen = FCoarseOpen = TMinMax{1.0f, -1.0f};
  FFrames = 0;
}

void TWaveOverview::Append(const float* ASamples, int64_t AFrames, int AChans)
{
  std::lock_guard Guard(FLock);
  for (int64_t F = 0; F < AFrames; ++F) {
    const float* Frame = ASamples + F * AChans;
    for (int C = 0; C < AChans; ++C) {
      FFineOpen.Min = std::min(FFineOpen.Min, Frame[C]);
      FFineOpen.Max = std::max(FFineOpen.Max, Frame[C]);
    }
    ++FFrames;
    if (FFrames % CFine == 0) {
      FFineSums.push_back(FFineOpen);
      Merge(FCoarseOpen, FFineOpen);
      FFineOpen = TMinMax{1.0f, -1.0f};
      if (FFrames % CCoarse == 0) {
        FCoarseSums.push_back(FCoarseOpen);
        FCoarseOpen = TMinMax{1.0f, -1.0f};
      }
    }
  }
}

int64_t TWaveOverview::Frames() const
{
  std::lock_guard Guard(FLock);
  return FFrames;
}

void TWaveOverview::Columns(int64_t AStart, double AFramesPerColumn, int AColumns,
                            std::vector<TMinMax>& AOut, const float* AFine, int AChans) const
{
  std::lock_guard Guard(FLock);
  AOut.assign(size_t(std::max(AColumns, 0)), TMinMax{});
  // The coarsest summary that still gives every column at least one value.
  const bool UseSamples = AFine && AFramesPerColumn < double(CFine);
  const bool UseCoarse = AFramesPerColumn >= double(CCoarse);
  const int64_t Unit = UseSamples ? 1 : UseCoarse ? CCoarse : CFine;
  const std::vector<TMinMax>& Sums = UseCoarse ? FCoarseSums : FFineSums;
  const TMinMax& Open = UseCoarse ? FCoarseOpen : FFineOpen;
  const int64_t Units = UseSamples ? FFrames : int64_t(Sums.size()) + (IsEmpty(Open) ? 0 : 1);

  for (int Col = 0; Col < AColumns; ++Col) {
    const double From = double(AStart) + Col * AFramesPerColumn;
    const double To = From + AFramesPerColumn;
    if (From >= double(FFrames))
      break;
    int64_t First = int64_t(std::floor(From / double(Unit)));
    int64_t Last = std::max(First + 1, int64_t(std::ceil(To / double(Unit))));
    First = std::max<int64_t>(First, 0);
    Last = std::min(Last, Units);
    TMinMax Value{1.0f, -1.0f};
    for (int64_t U = First; U < Last; ++U) {
      if (UseSamples) {
        for (int C = 0; C < AChans; ++C)
          Merge(Value, TMinMax{AFine[U * AChans + C], AFine[U * AChans + C]});
      } else {
        Merge(Value, U < int64_t(Sums.size()) ? Sums[size_t(U)] : Open);
      }
    }
    if (!IsEmpty(Value))
      AOut[size_t(Col)] = Value;
  }
}
