// What is done to a recorded take before it is used: measuring it, trimming its head and tail,
// normalising its loudness. None of this touches the take file; the edit is a range and a gain
// that RenderTake applies when the take is used.
#pragma once

#include "recorder/take_file.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

// Loudness and peaks of some frames. Levels of silence are -infinity.
struct TTakeLevels
{
  int64_t Frames = 0;
  double SamplePeakDb = -std::numeric_limits<double>::infinity(); // dBFS
  double TruePeakDb = -std::numeric_limits<double>::infinity();   // dBTP
  double IntegratedLufs = -std::numeric_limits<double>::infinity();
};

// Measures AFrames frames from AStart with libebur128 (integrated loudness, true peak). A mono
// take is measured as dual mono, since the station plays it on both channels.
TTakeLevels MeasureTake(const TTakeAudio& AAudio, int64_t AStart, int64_t AFrames,
                        double AGainDb = 0.0);

struct TTakeEdit
{
  int64_t Start = 0; // first frame kept
  int64_t End = 0;   // one past the last frame kept
  double GainDb = 0.0;
};

// The range that keeps everything between the first and the last frame louder than
// AThresholdDb (any channel), widened by APaddingMs on each side; the whole take when nothing
// is that loud (nothing would be left to use).
TTakeEdit TrimSilence(const TTakeAudio& AAudio, double AThresholdDb, int APaddingMs);

struct TNormaliseResult
{
  double GainDb = 0.0;
  // The gain stopped short of the target because the true peak would have passed the ceiling.
  bool CeilingLimited = false;
  // The range is silent: there is nothing to normalise and the gain is 0.
  bool Silent = false;
  double ResultLufs = -std::numeric_limits<double>::infinity();
};

// The gain that brings the integrated loudness of ALevels to ATargetLufs, lowered where
// the true peak would pass ACeilingDbtp.
TNormaliseResult NormaliseGain(const TTakeLevels& ALevels, double ATargetLufs, double ACeilingDbtp);

// The edited frames with the gain applied, interleaved.
std::vector<float> RenderTake(const TTakeAudio& AAudio, const TTakeEdit& AEdit);

inline double DbToGain(double ADb)
{
  return std::pow(10.0, ADb / 20.0);
}
