// One loaded VST2 plug-in instance: the library, the effect record and the calls the bridge makes
// on it. Audio processing takes the process lock, so parameter changes from the user-interface
// thread never run inside a process call; every other dispatcher call takes the dispatch lock,
// so the editor thread and the user-interface thread never call into the plug-in at once.
#pragma once

#include "vst2_abi.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TVstPlugin
{
public:
  // Frames per plug-in call; longer buffers are processed in pieces of this size.
  static constexpr int MaxBlock = 1024;
  // Plug-ins claiming more audio ports than this are not taken seriously.
  static constexpr int MaxPorts = 64;

  // Loads the file and creates the effect. nullptr when the file cannot be loaded, exports no
  // entry point, or the entry point returns no effect or one without the effect magic.
  static std::unique_ptr<TVstPlugin> Load(const std::string& APath);
  ~TVstPlugin();
  TVstPlugin(const TVstPlugin&) = delete;
  TVstPlugin& operator=(const TVstPlugin&) = delete;

  // Sets the sample rate and block size and switches the plug-in on.
  void Start(float ASampleRate);

  const Vst2::TAEffect& Effect() const { return *FEffect; }
  float SampleRate() const { return FSampleRate; }
  std::string EffectName();
  std::string VendorName();
  std::string ProductName();
  bool HasEditor() const { return (FEffect->flags & Vst2::effFlagsHasEditor) != 0; }

  int ParamCount() const { return FEffect->numParams; }
  bool IsParam(int AIndex) const { return AIndex >= 0 && AIndex < FEffect->numParams; }
  float GetParam(int AIndex);
  void SetParam(int AIndex, float AValue);
  void ParamTexts(int AIndex, std::string& AName, std::string& AUnit, std::string& ADisplay);

  // Runs AFrames frames of AChans interleaved channels through the plug-in in place.
  void Process(float* ASamples, size_t AFrames, int AChans);

  // Editor calls: made only on the editor thread.
  bool EditorRect(int& AWidth, int& AHeight);
  // The plug-in's answer: plug-ins disagree on what success returns.
  intptr_t EditorOpen(uintptr_t AWindow);
  void EditorIdle();
  void EditorClose();
  bool EditorIsOpen() const { return FEditorOpen; }

private:
  TVstPlugin(void* ALibrary, Vst2::TAEffect* AEffect, std::string APath);
  static intptr_t HostCallback(Vst2::TAEffect* AEffect, int32_t AOpcode, int32_t AIndex,
                               intptr_t AValue, void* APtr, float AOpt);
  intptr_t Dispatch(int32_t AOpcode, int32_t AIndex = 0, intptr_t AValue = 0, void* APtr = nullptr,
                    float AOpt = 0.0f);
  std::string QueryText(int32_t AOpcode, int32_t AIndex = 0);
  void ProcessBlock(float* ASamples, int AFrames, int AChans);

  void* FLibrary;
  Vst2::TAEffect* FEffect;
  std::string FPath;
  float FSampleRate = 44100.0f;
  bool FRunning = false;
  bool FEditorOpen = false;
  std::mutex FProcessLock;
  std::recursive_mutex FDispatchLock;
  std::vector<float> FInputData;
  std::vector<float> FOutputData;
  std::vector<float*> FInputs;
  std::vector<float*> FOutputs;
};
