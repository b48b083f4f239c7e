#include "recorder/take_edit.h"

#include <ebur128.h>

#include <algorithm>
#include <memory>

namespace {

struct TEbur128Deleter
{
  void operator()(ebur128_state* AState) const { ebur128_destroy(&AState); }
};

} // namespace

TTakeLevels MeasureTake(const TTakeAudio& AAudio, int64_t AStart, int64_t AFrames, double AGainDb)
{
  TTakeLevels Levels;
  AStart = std::clamp<int64_t>(AStart, 0, AAudio.Frames());
  AFrames = std::clamp<int64_t>(AFrames, 0, AAudio.Frames() - AStart);
  Levels.Frames = AFrames;
  if (AFrames == 0 || AAudio.Chans <= 0)
    return Levels;

  std::unique_ptr<ebur128_state, TEbur128Deleter> State(
      ebur128_init(unsigned(AAudio.Chans), unsigned(AAudio.Rate),
                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK));
  if (!State)
    return Levels;
  if (AAudio.Chans == 1)
    ebur128_set_channel(State.get(), 0, EBUR128_DUAL_MONO);

  const float* From = AAudio.Samples.data() + AStart * AAudio.Chans;
  const float Gain = float(DbToGain(AGainDb));
  if (AGainDb == 0.0) {
    ebur128_add_frames_float(State.get(), From, size_t(AFrames));
  } else {
    std::vector<float> Block;
    constexpr int64_t CBlock = 16384;
    for (int64_t F = 0; F < AFrames; F += CBlock) {
      const int64_t N = std::min(CBlock, AFrames - F);
      Block.assign(From + F * AAudio.Chans, From + (F + N) * AAudio.Chans);
      for (float& S : Block)
        S *= Gain;
      ebur128_add_frames_float(State.get(), Block.data(), size_t(N));
    }
  }

  double Loudness = 0.0;
  if (ebur128_loudness_global(State.get(), &Loudness) == EBUR128_SUCCESS && std::isfinite(Loudness))
    Levels.IntegratedLufs = Loudness;
  double SamplePeak = 0.0, TruePeak = 0.0;
  for (int C = 0; C < AAudio.Chans; ++C) {
    double Value = 0.0;
    if (ebur128_sample_peak(State.get(), unsigned(C), &Value) == EBUR128_SUCCESS)
      SamplePeak = std::max(SamplePeak, Value);
    if (ebur128_true_peak(State.get(), unsigned(C), &Value) == EBUR128_SUCCESS)
      TruePeak = std::max(TruePeak, Value);
  }
  if (SamplePeak > 0.0)
    Levels.SamplePeakDb = 20.0 * std::log10(SamplePeak);
  if (TruePeak > 0.0)
    Levels.TruePeakDb = 20.0 * std::log10(TruePeak);
  return Levels;
}

TTakeEdit TrimSilence(const TTakeAudio& AAudio, double AThresholdDb, int APaddingMs)
{
  TTakeEdit Edit;
  const int64_t Frames = AAudio.Frames();
  Edit.End = Frames;
  const float Threshold = float(DbToGain(AThresholdDb));
  const int Chans = AAudio.Chans;
  auto Loud = [&](int64_t AFrame) {
    for (int C = 0; C < Chans; ++C)
      if (std::fabs(AAudio.Samples[size_t(AFrame * Chans + C)]) > Threshold)
        return true;
    return false;
  };
  int64_t First = 0;
  while (First < Frames && !Loud(First))
    ++First;
  if (First == Frames)
    return Edit;
  int64_t Last = Frames - 1;
  while (Last > First && !Loud(Last))
    --Last;
  const int64_t Padding = int64_t(APaddingMs) * AAudio.Rate / 1000;
  Edit.Start = std::max<int64_t>(0, First - Padding);
  Edit.End = std::min(Frames, Last + 1 + Padding);
  return Edit;
}

TNormaliseResult NormaliseGain(const TTakeLevels& ALevels, double ATargetLufs, double ACeilingDbtp)
{
  TNormaliseResult Result;
  if (!std::isfinite(ALevels.IntegratedLufs)) {
    Result.Silent = true;
    return Result;
  }
  Result.GainDb = ATargetLufs - ALevels.IntegratedLufs;
  if (std::isfinite(ALevels.TruePeakDb) && ALevels.TruePeakDb + Result.GainDb > ACeilingDbtp) {
    Result.GainDb = ACeilingDbtp - ALevels.TruePeakDb;
    Result.CeilingLimited = true;
  }
  Result.ResultLufs = ALevels.IntegratedLufs + Result.GainDb;
  return Result;
}

std::vector<float> RenderTake(const TTakeAudio& AAudio, const TTakeEdit& AEdit)
{
  const int64_t Start = std::clamp<int64_t>(AEdit.Start, 0, AAudio.Frames());
  const int64_t End = std::clamp<int64_t>(AEdit.End, Start, AAudio.Frames());
  std::vector<float> Out(AAudio.Samples.begin() + Start * AAudio.Chans,
                         AAudio.Samples.begin() + End * AAudio.Chans);
  if (AEdit.GainDb != 0.0) {
    const float Gain = float(DbToGain(AEdit.GainDb));
    for (float& S : Out)
      S *= Gain;
  }
  return Out;
}
