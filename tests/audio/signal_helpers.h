// Test signals for the audio engine: sines in, levels out.
#pragma once

#include "bass.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vexmo::audio::test {

constexpr unsigned SampleRate = 44100;

// AFrames frames of a sine of peak AAmplitude, the same on every one of AChans channels.
inline std::vector<float> Sine(double AFrequency, double AAmplitude, unsigned AFrames,
                               unsigned AChans = 2)
{
  std::vector<float> samples(static_cast<size_t>(AFrames) * AChans);
  for (unsigned i = 0; i < AFrames; ++i)
    for (unsigned c = 0; c < AChans; ++c)
      samples[i * AChans + c] =
          static_cast<float>(AAmplitude * std::sin(2 * M_PI * AFrequency * i / SampleRate));
  return samples;
}

// RMS level in dB of channel AChannel over frames [AFrom, end).
inline double RmsDb(const std::vector<float>& ASamples, unsigned AChans, unsigned AChannel,
                    unsigned AFrom)
{
  double sum = 0;
  unsigned count = 0;
  for (size_t i = static_cast<size_t>(AFrom) * AChans + AChannel; i < ASamples.size();
       i += AChans, ++count)
    sum += static_cast<double>(ASamples[i]) * ASamples[i];
  return 10 * std::log10(sum / std::max(count, 1u));
}

// Peak level in dB of all channels over frames [AFrom, end).
inline double PeakDb(const std::vector<float>& ASamples, unsigned AChans, unsigned AFrom)
{
  float peak = 0;
  for (size_t i = static_cast<size_t>(AFrom) * AChans; i < ASamples.size(); ++i)
    peak = std::max(peak, std::fabs(ASamples[i]));
  return 20 * std::log10(peak);
}

// Pushes the samples through the stream in place, in buffers of AChunk frames as a sound card
// would, so that effects have to carry their state from one buffer to the next.
inline bool ProcessInChunks(HSTREAM AStream, std::vector<float>& ASamples, unsigned AChans,
                            unsigned AChunk = 1024)
{
  for (size_t pos = 0; pos < ASamples.size(); pos += static_cast<size_t>(AChunk) * AChans) {
    const size_t count = std::min(ASamples.size() - pos, static_cast<size_t>(AChunk) * AChans);
    const DWORD bytes = static_cast<DWORD>(count * sizeof(float));
    if (BASS_ChannelProcess(AStream, ASamples.data() + pos, bytes) != bytes)
      return false;
  }
  return true;
}

} // namespace vexmo::audio::test
