// What the DSP tests share: the plug-in layer set up against a settings object of the test's
// own, a chain with its manager, a decoding stream to push samples through, and sine signals.
#pragma once

#include "audio/bass.h"
#include "base/data_folders.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugins.h"
#include "dsp/vst_binding.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"

#include <QString>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace dsptest {

constexpr unsigned SampleRate = 44100;
constexpr unsigned Chans = 2;

inline QString BinDir()
{
  return QStringLiteral(VEXMO_BIN_DIR);
}

inline std::vector<float> Sine(double AFrequency, double AAmplitude, unsigned AFrames)
{
  std::vector<float> Samples(static_cast<size_t>(AFrames) * Chans);
  for (unsigned i = 0; i < AFrames; ++i)
    for (unsigned c = 0; c < Chans; ++c)
      Samples[i * Chans + c] =
          static_cast<float>(AAmplitude * std::sin(2 * M_PI * AFrequency * i / SampleRate));
  return Samples;
}

// RMS level in dB of channel 0 from frame AFrom on.
inline double RmsDb(const std::vector<float>& ASamples, unsigned AFrom)
{
  double Sum = 0;
  unsigned Count = 0;
  for (size_t i = static_cast<size_t>(AFrom) * Chans; i < ASamples.size(); i += Chans, ++Count)
    Sum += static_cast<double>(ASamples[i]) * ASamples[i];
  return 10 * std::log10(Sum / std::max(Count, 1u));
}

inline double PeakDb(const std::vector<float>& ASamples, unsigned AFrom)
{
  float Peak = 0;
  for (size_t i = static_cast<size_t>(AFrom) * Chans; i < ASamples.size(); ++i)
    Peak = std::max(Peak, std::fabs(ASamples[i]));
  return 20 * std::log10(Peak);
}

// Pushes the samples through the stream in buffers of 1024 frames, as a sound card would.
inline void Process(HSTREAM AStream, std::vector<float>& ASamples)
{
  constexpr size_t Chunk = 1024 * Chans;
  for (size_t Pos = 0; Pos < ASamples.size(); Pos += Chunk) {
    const DWORD Bytes = static_cast<DWORD>(std::min(Chunk, ASamples.size() - Pos) * sizeof(float));
    ASSERT_EQ(BASS_ChannelProcess(AStream, ASamples.data() + Pos, Bytes), Bytes);
  }
}

// The plug-in layer against FSettings, with the program folder set to the build's bin/ and
// both plug-in kinds off; a chain "Mic" over FList, and a stream that the test may give it.
// Everything global is put back afterwards, so each test starts without plug-in lists and with
// the bridge unbound.
class TChainTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    InitProgramFolder(BinDir());
    SetupPlugins(&FSettings, FData.path() + QLatin1Char('/'), BinDir() + "Plugins/", 0,
                 QStringLiteral("Are you sure?"), {}, {});
    FManager.SetDSPList(&FList);
    FManager.SetOnChange([this](TDSPManager*) { ++FChanges; });
    FStream = BASS_StreamCreate(SampleRate, Chans, BASS_STREAM_DECODE, nullptr, nullptr);
    ASSERT_NE(FStream, 0u);
  }

  void TearDown() override
  {
    // Stop what runs before the chain and the stream go.
    for (int i = 0; i < FList.Count(); ++i)
      FManager.StopDSP(i);
    FSettings.SetAllowVstPlugins(false);
    FSettings.SetAllowWinampPlugins(false);
    FreePluginLists();
    UnbindVST();
    SetVSTBridgeFallbackName(VSTBridgeFileName);
    SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
    InitProgramFolder(BinDir());
    BASS_StreamFree(FStream);
  }

  TDSPItemC* AddBuiltIn(TIntDSPKind AKind, const QStringList& AParams,
                        TPluginState AState = psActive)
  {
    TDSPItemC* Item = FList.Add();
    Item->SetT(dspIntegrated);
    Item->SetIntDSPKind(AKind);
    Item->SetParams(AParams);
    Item->SetState(AState);
    return Item;
  }

  TDSPItemC* AddVST(const QString& APath, TPluginState AState = psActive)
  {
    TDSPItemC* Item = FList.Add();
    Item->SetT(dspPlugin);
    Item->SetPluginType(ptVST);
    Item->SetPluginPath(APath);
    Item->SetState(AState);
    return Item;
  }

  // What the chain editor does when a box is ticked or cleared.
  void Tick(int AIndex)
  {
    FList.Items(AIndex)->SetState(psActive);
    FManager.StartDSP(AIndex);
  }
  void Untick(int AIndex)
  {
    FList.Items(AIndex)->SetState(psOff);
    FManager.StopDSP(AIndex);
  }

  QTemporaryDir FData;
  TMessageBoxRecorder FBoxes;
  TSystemIni FSettings;
  TDSPItemsC FList;
  TDSPManager FManager{QStringLiteral("Mic")};
  HSTREAM FStream = 0;
  int FChanges = 0;
};

} // namespace dsptest
