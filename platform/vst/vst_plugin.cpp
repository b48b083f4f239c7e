#include "vst_plugin.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

// Set while a plug-in's entry point runs: the effect record does not know its host yet, but some
// plug-ins ask for the sample rate from inside their constructor.
thread_local const TVstPlugin* GLoading = nullptr;

std::string FileBaseName(const std::string& APath)
{
  const size_t Slash = APath.find_last_of('/');
  std::string Name = Slash == std::string::npos ? APath : APath.substr(Slash + 1);
  const size_t Dot = Name.find_last_of('.');
  if (Dot != std::string::npos && Dot > 0)
    Name.resize(Dot);
  return Name;
}

bool IsUsableEffect(const Vst2::TAEffect* AEffect)
{
  return AEffect && AEffect->magic == Vst2::kEffectMagic && AEffect->dispatcher &&
         (AEffect->processReplacing || AEffect->process) && AEffect->setParameter &&
         AEffect->getParameter && AEffect->numParams >= 0 && AEffect->numInputs >= 0 &&
         AEffect->numOutputs >= 0 && AEffect->numInputs <= TVstPlugin::MaxPorts &&
         AEffect->numOutputs <= TVstPlugin::MaxPorts;
}

} // namespace

std::unique_ptr<TVstPlugin> TVstPlugin::Load(const std::string& APath)
{
  if (APath.empty())
    return nullptr;
  // A bare name would be looked up in the library search path instead of the folder we mean.
  const std::string Path = APath.find('/') == std::string::npos ? "./" + APath : APath;
  void* Library = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Library)
    return nullptr;
  auto Entry = reinterpret_cast<Vst2::TEntryProc>(dlsym(Library, "VSTPluginMain"));
  if (!Entry)
    Entry = reinterpret_cast<Vst2::TEntryProc>(dlsym(Library, "main"));
  if (!Entry) {
    dlclose(Library);
    return nullptr;
  }
  Vst2::TAEffect* Effect = Entry(&HostCallback);
  if (!IsUsableEffect(Effect)) {
    // An effect with a wrong magic may be anything; calling its effClose would be a guess.
    dlclose(Library);
    return nullptr;
  }
  // A plug-in stays mapped once it has run: plug-ins commonly leave threads, X11 connections or
  // exit handlers behind after effClose, and unmapping their code under them would crash later.
  dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD | RTLD_NODELETE);
  return std::unique_ptr<TVstPlugin>(new TVstPlugin(Library, Effect, APath));
}

TVstPlugin::TVstPlugin(void* ALibrary, Vst2::TAEffect* AEffect, std::string APath)
    : FLibrary(ALibrary), FEffect(AEffect), FPath(std::move(APath))
{
  FEffect->user = this;
  GLoading = this;
  Dispatch(Vst2::effOpen);
  GLoading = nullptr;

  const int Inputs = FEffect->numInputs;
  const int Outputs = FEffect->numOutputs;
  FInputData.assign(static_cast<size_t>(Inputs) * MaxBlock, 0.0f);
  FOutputData.assign(static_cast<size_t>(Outputs) * MaxBlock, 0.0f);
  for (int i = 0; i < Inputs; ++i)
    FInputs.push_back(FInputData.data() + static_cast<size_t>(i) * MaxBlock);
  for (int i = 0; i < Outputs; ++i)
    FOutputs.push_back(FOutputData.data() + static_cast<size_t>(i) * MaxBlock);
}

TVstPlugin::~TVstPlugin()
{
  std::lock_guard DispatchGuard(FDispatchLock);
  std::lock_guard ProcessGuard(FProcessLock);
  if (FEditorOpen)
    FEffect->dispatcher(FEffect, Vst2::effEditClose, 0, 0, nullptr, 0.0f);
  if (FRunning)
    FEffect->dispatcher(FEffect, Vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
  // effClose frees the effect record; nothing may touch it afterwards.
  FEffect->dispatcher(FEffect, Vst2::effClose, 0, 0, nullptr, 0.0f);
  dlclose(FLibrary);
}

intptr_t TVstPlugin::HostCallback(Vst2::TAEffect* AEffect, int32_t AOpcode, int32_t AIndex,
                                  intptr_t AValue, void* APtr, float AOpt)
{
  const TVstPlugin* Self =
      AEffect && AEffect->user ? static_cast<const TVstPlugin*>(AEffect->user) : GLoading;
  switch (AOpcode) {
  case Vst2::audioMasterVersion:
    return Vst2::kHostVersion;
  case Vst2::audioMasterGetSampleRate:
    return static_cast<intptr_t>(Self ? Self->FSampleRate : 44100.0f);
  case Vst2::audioMasterGetBlockSize:
    return MaxBlock;
  default:
    return 0;
  }
}

intptr_t TVstPlugin::Dispatch(int32_t AOpcode, int32_t AIndex, intptr_t AValue, void* APtr,
                              float AOpt)
{
  std::lock_guard Guard(FDispatchLock);
  return FEffect->dispatcher(FEffect, AOpcode, AIndex, AValue, APtr, AOpt);
}

void TVstPlugin::Start(float ASampleRate)
{
  std::lock_guard DispatchGuard(FDispatchLock);
  std::lock_guard ProcessGuard(FProcessLock);
  if (FRunning)
    FEffect->dispatcher(FEffect, Vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
  FSampleRate = ASampleRate;
  FEffect->dispatcher(FEffect, Vst2::effSetSampleRate, 0, 0, nullptr, ASampleRate);
  FEffect->dispatcher(FEffect, Vst2::effSetBlockSize, 0, MaxBlock, nullptr, 0.0f);
  FEffect->dispatcher(FEffect, Vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
  FRunning = true;
}

std::string TVstPlugin::QueryText(int32_t AOpcode, int32_t AIndex)
{
  // The interface nominally allows 8 to 64 bytes, but plug-ins write more than they should.
  char Buffer[512] = {};
  Dispatch(AOpcode, AIndex, 0, Buffer);
  Buffer[sizeof(Buffer) - 1] = '\0';
  return Buffer;
}

std::string TVstPlugin::EffectName()
{
  std::string Name = QueryText(Vst2::effGetEffectName);
  if (Name.empty())
    Name = QueryText(Vst2::effGetProductString);
  return Name.empty() ? FileBaseName(FPath) : Name;
}

std::string TVstPlugin::VendorName()
{
  return QueryText(Vst2::effGetVendorString);
}

std::string TVstPlugin::ProductName()
{
  return QueryText(Vst2::effGetProductString);
}

float TVstPlugin::GetParam(int AIndex)
{
  if (!IsParam(AIndex))
    return 0.0f;
  std::lock_guard Guard(FProcessLock);
  return FEffect->getParameter(FEffect, AIndex);
}

void TVstPlugin::SetParam(int AIndex, float AValue)
{
  if (!IsParam(AIndex))
    return;
  // Values are normalised to 0..1 by the interface; plug-ins index tables with them.
  const float Value = AValue != AValue ? 0.0f : std::clamp(AValue, 0.0f, 1.0f);
  std::lock_guard Guard(FProcessLock);
  FEffect->setParameter(FEffect, AIndex, Value);
}

void TVstPlugin::ParamTexts(int AIndex, std::string& AName, std::string& AUnit,
                            std::string& ADisplay)
{
  AName = QueryText(Vst2::effGetParamName, AIndex);
  AUnit = QueryText(Vst2::effGetParamLabel, AIndex);
  ADisplay = QueryText(Vst2::effGetParamDisplay, AIndex);
}

void TVstPlugin::Process(float* ASamples, size_t AFrames, int AChans)
{
  if (!ASamples || AChans <= 0)
    return;
  std::lock_guard Guard(FProcessLock);
  while (AFrames > 0) {
    const int Frames = static_cast<int>(std::min<size_t>(AFrames, MaxBlock));
    ProcessBlock(ASamples, Frames, AChans);
    ASamples += static_cast<size_t>(Frames) * AChans;
    AFrames -= Frames;
  }
}

void TVstPlugin::ProcessBlock(float* ASamples, int AFrames, int AChans)
{
  const int Inputs = static_cast<int>(FInputs.size());
  const int Outputs = static_cast<int>(FOutputs.size());

  // Inputs: channel i to input i; a mono channel feeds every input; a mono plug-in gets the mix of
  // all channels; inputs beyond the channels get silence.
  for (int In = 0; In < Inputs; ++In) {
    float* Dest = FInputs[In];
    if (Inputs == 1 && AChans > 1) {
      for (int f = 0; f < AFrames; ++f) {
        float Sum = 0.0f;
        for (int c = 0; c < AChans; ++c)
          Sum += ASamples[f * AChans + c];
        Dest[f] = Sum / static_cast<float>(AChans);
      }
    } else if (In < AChans || AChans == 1) {
      const int Source = AChans == 1 ? 0 : In;
      for (int f = 0; f < AFrames; ++f)
        Dest[f] = ASamples[f * AChans + Source];
    } else {
      std::fill(Dest, Dest + AFrames, 0.0f);
    }
  }
  for (float* Dest : FOutputs)
    std::fill(Dest, Dest + AFrames, 0.0f);

  // The old accumulating call adds to the zeroed outputs, so both give the same result.
  if (FEffect->processReplacing)
    FEffect->processReplacing(FEffect, FInputs.data(), FOutputs.data(), AFrames);
  else
    FEffect->process(FEffect, FInputs.data(), FOutputs.data(), AFrames);

  // Outputs: output c to channel c; a mono channel gets the mix of the first two outputs; a mono
  // plug-in feeds every channel; channels beyond the outputs pass unchanged.
  if (Outputs == 0)
    return;
  for (int c = 0; c < AChans; ++c) {
    const float* Out0 = FOutputs[0];
    if (AChans == 1 && Outputs >= 2) {
      const float* Out1 = FOutputs[1];
      for (int f = 0; f < AFrames; ++f)
        ASamples[f] = 0.5f * (Out0[f] + Out1[f]);
    } else if (c < Outputs || Outputs == 1) {
      const float* Source = FOutputs[Outputs == 1 ? 0 : c];
      for (int f = 0; f < AFrames; ++f)
        ASamples[f * AChans + c] = Source[f];
    }
  }
}

bool TVstPlugin::EditorRect(int& AWidth, int& AHeight)
{
  AWidth = 0;
  AHeight = 0;
  if (!HasEditor())
    return false;
  Vst2::TERect* Rect = nullptr;
  Dispatch(Vst2::effEditGetRect, 0, 0, &Rect);
  if (!Rect)
    return false;
  AWidth = std::max(0, Rect->right - Rect->left);
  AHeight = std::max(0, Rect->bottom - Rect->top);
  return AWidth > 0 && AHeight > 0;
}

intptr_t TVstPlugin::EditorOpen(uintptr_t AWindow)
{
  std::lock_guard Guard(FDispatchLock);
  if (FEditorOpen)
    EditorClose();
  // Counted as open whatever it returns, so that effEditClose always follows.
  FEditorOpen = true;
  return Dispatch(Vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(AWindow));
}

void TVstPlugin::EditorIdle()
{
  if (FEditorOpen)
    Dispatch(Vst2::effEditIdle);
}

void TVstPlugin::EditorClose()
{
  std::lock_guard Guard(FDispatchLock);
  if (!FEditorOpen)
    return;
  Dispatch(Vst2::effEditClose);
  FEditorOpen = false;
}
