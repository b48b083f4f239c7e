// The exported calls: a table of instances by handle, attachment to audio channels through the
// engine's DSP procedures, and the records the program reads.
#include "bass_vst.h"

#include "vst_editor_host.h"
#include "vst_plugin.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct TVstInstance
{
  std::unique_ptr<TVstPlugin> Plugin;
  DWORD Channel = 0;
  HDSP Dsp = 0;
  int Chans = 0;

  ~TVstInstance()
  {
    // Runs when the last user of the instance lets go, so no other call can reopen the editor.
    if (Plugin && Plugin->EditorIsOpen() && TVstEditorHost::Exists())
      TVstEditorHost::Instance().Close(Plugin.get());
  }
};

// The table is never destroyed: at process exit the plug-ins' own static objects may already be
// gone, and freeing an instance still in it would send effClose into a destroyed plug-in. What is
// attached at exit is left to the end of the process, as the plug-ins' libraries are.
std::mutex& InstancesLock()
{
  static auto* Lock = new std::mutex;
  return *Lock;
}

std::map<DWORD, std::shared_ptr<TVstInstance>>& Instances()
{
  static auto* Table = new std::map<DWORD, std::shared_ptr<TVstInstance>>;
  return *Table;
}

DWORD GLastHandle = 0;

std::shared_ptr<TVstInstance> FindInstance(DWORD AHandle)
{
  std::lock_guard Guard(InstancesLock());
  const auto Found = Instances().find(AHandle);
  return Found == Instances().end() ? nullptr : Found->second;
}

DWORD AddInstance(std::shared_ptr<TVstInstance> AInstance)
{
  std::lock_guard Guard(InstancesLock());
  // Handles are never reused, so a stale handle cannot reach a newer instance.
  do
    ++GLastHandle;
  while (GLastHandle == 0 || Instances().count(GLastHandle));
  Instances().emplace(GLastHandle, std::move(AInstance));
  return GLastHandle;
}

void AppendUtf8(std::string& AText, char32_t ACode)
{
  if (ACode < 0x80) {
    AText += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AText += static_cast<char>(0xC0 | (ACode >> 6));
    AText += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AText += static_cast<char>(0xE0 | (ACode >> 12));
    AText += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AText += static_cast<char>(0xF0 | (ACode >> 18));
    AText += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AText += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AText += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

// File names on Linux are bytes; the program's UTF-16 names become UTF-8. A lone surrogate
// becomes U+FFFD, which names no file, rather than being dropped into a different name.
std::string Utf16ToUtf8(const char16_t* AText)
{
  std::string Result;
  for (size_t i = 0; AText[i] != 0; ++i) {
    const char32_t Unit = AText[i];
    if (Unit >= 0xD800 && Unit < 0xDC00 && AText[i + 1] >= 0xDC00 && AText[i + 1] < 0xE000) {
      AppendUtf8(Result, 0x10000 + ((Unit - 0xD800) << 10) + (AText[i + 1] - 0xDC00));
      ++i;
    } else if (Unit >= 0xD800 && Unit < 0xE000) {
      AppendUtf8(Result, 0xFFFD);
    } else {
      AppendUtf8(Result, Unit);
    }
  }
  return Result;
}

// Copies into a fixed field of a record, zero-filled and zero-terminated; a text that does not fit
// is cut before a UTF-8 character that would not fit whole.
template <size_t N> void CopyField(char (&AField)[N], const std::string& AText)
{
  std::memset(AField, 0, N);
  size_t Length = std::min(AText.size(), N - 1);
  if (Length < AText.size())
    while (Length > 0 && (static_cast<unsigned char>(AText[Length]) & 0xC0) == 0x80)
      --Length;
  std::memcpy(AField, AText.data(), Length);
}

// Plug-in code runs inside every call; an exception it throws must not cross into the program's
// C caller (or end the audio thread), so each call turns one into its failure value.
template <typename TResult, typename TWork> TResult Guarded(TResult AFailure, TWork AWork)
{
  try {
    return AWork();
  } catch (...) {
    return AFailure;
  }
}

void ProcessSamples(HDSP AHandle, DWORD AChannel, void* ABuffer, DWORD ALength, void* AUser)
{
  auto* Instance = static_cast<TVstInstance*>(AUser);
  if (!Instance || Instance->Chans <= 0)
    return;
  const size_t Frames = ALength / (sizeof(float) * static_cast<size_t>(Instance->Chans));
  Guarded(0, [&] {
    Instance->Plugin->Process(static_cast<float*>(ABuffer), Frames, Instance->Chans);
    return 0;
  });
}

DWORD LoadInstance(DWORD AChannel, const void* AFile, DWORD AFlags, int APriority)
{
  if (!AFile)
    return 0;
  const std::string Path = (AFlags & BASS_UNICODE)
                               ? Utf16ToUtf8(static_cast<const char16_t*>(AFile))
                               : std::string(static_cast<const char*>(AFile));
  auto Instance = std::make_shared<TVstInstance>();
  float SampleRate = 44100.0f;
  if (AChannel != 0) {
    BASS_CHANNELINFO Info{};
    if (!BASS_ChannelGetInfo(AChannel, &Info) || Info.chans == 0 || Info.freq == 0)
      return 0;
    SampleRate = static_cast<float>(Info.freq);
    Instance->Chans = static_cast<int>(Info.chans);
    Instance->Channel = AChannel;
  }
  Instance->Plugin = TVstPlugin::Load(Path);
  if (!Instance->Plugin)
    return 0;
  // Instances for editing only are switched on too: some plug-ins set up their parameters and
  // display texts only once they run.
  Instance->Plugin->Start(SampleRate);
  TVstInstance* Attached = Instance.get();
  const DWORD Handle = AddInstance(std::move(Instance));
  // Attached last, so that nothing after it can fail and free the instance under the engine.
  if (AChannel != 0) {
    Attached->Dsp = BASS_ChannelSetDSP(AChannel, &ProcessSamples, Attached, APriority);
    if (Attached->Dsp == 0) {
      std::lock_guard Guard(InstancesLock());
      Instances().erase(Handle);
      return 0;
    }
  }
  return Handle;
}

BOOL RemoveInstance(DWORD AChannel, DWORD AHandle)
{
  std::shared_ptr<TVstInstance> Instance;
  {
    std::lock_guard Guard(InstancesLock());
    const auto Found = Instances().find(AHandle);
    if (Found == Instances().end() || Found->second->Channel != AChannel)
      return FALSE;
    Instance = std::move(Found->second);
    Instances().erase(Found);
  }
  // Once this returns the engine no longer calls us; a channel already freed has dropped us.
  if (Instance->Dsp != 0)
    BASS_ChannelRemoveDSP(Instance->Channel, Instance->Dsp);
  return TRUE;
}

BOOL EmbedEditor(DWORD AHandle, uintptr_t AWindow)
{
  const auto Instance = FindInstance(AHandle);
  if (!Instance || !Instance->Plugin->HasEditor())
    return FALSE;
  if (AWindow == 0) {
    if (Instance->Plugin->EditorIsOpen())
      TVstEditorHost::Instance().Close(Instance->Plugin.get());
    return TRUE;
  }
  return TVstEditorHost::Instance().Open(Instance->Plugin.get(), AWindow) ? TRUE : FALSE;
}

BOOL FillInfo(DWORD AHandle, BASS_VST_INFO* AInfo)
{
  const auto Instance = FindInstance(AHandle);
  if (!Instance || !AInfo)
    return FALSE;
  TVstPlugin& Plugin = *Instance->Plugin;
  const Vst2::TAEffect& Effect = Plugin.Effect();
  BASS_VST_INFO Record{};
  Record.uniqueID = static_cast<DWORD>(Effect.uniqueID);
  Record.effectVersion = static_cast<DWORD>(Effect.version);
  CopyField(Record.effectName, Plugin.EffectName());
  CopyField(Record.productName, Plugin.ProductName());
  Record.inputs = static_cast<DWORD>(Effect.numInputs);
  Record.outputs = static_cast<DWORD>(Effect.numOutputs);
  Record.params = static_cast<DWORD>(Effect.numParams);
  CopyField(Record.vendorName, Plugin.VendorName());
  Record.programs = static_cast<DWORD>(std::max(0, Effect.numPrograms));
  Record.initialDelay = static_cast<DWORD>(std::max(0, Effect.initialDelay));
  Record.chans = static_cast<DWORD>(Instance->Chans);
  Record.effectFlags = static_cast<DWORD>(Effect.flags);
  Record.hasEditor = Plugin.HasEditor() ? 1 : 0;
  if (Plugin.HasEditor()) {
    int Width = 0;
    int Height = 0;
    TVstEditorHost::Instance().EditorSize(&Plugin, Width, Height);
    Record.editorWidth = static_cast<DWORD>(Width);
    Record.editorHeight = static_cast<DWORD>(Height);
  }
  std::memcpy(AInfo, &Record, sizeof(Record));
  return TRUE;
}

BOOL FillParamInfo(DWORD AHandle, int AIndex, BASS_VST_PARAM_INFO* AInfo)
{
  const auto Instance = FindInstance(AHandle);
  if (!Instance || !AInfo || !Instance->Plugin->IsParam(AIndex))
    return FALSE;
  std::string Name;
  std::string Unit;
  std::string Display;
  Instance->Plugin->ParamTexts(AIndex, Name, Unit, Display);
  BASS_VST_PARAM_INFO Record{};
  CopyField(Record.name, Name);
  CopyField(Record.unit, Unit);
  CopyField(Record.display, Display);
  std::memcpy(AInfo, &Record, sizeof(Record));
  return TRUE;
}

} // namespace

extern "C" {

DWORD BASSVSTDEF(BASS_VST_ChannelSetDSP)(DWORD chan, const void* file, DWORD flags, int priority)
{
  return Guarded(DWORD(0), [&] { return LoadInstance(chan, file, flags, priority); });
}

BOOL BASSVSTDEF(BASS_VST_ChannelRemoveDSP)(DWORD chan, DWORD vstHandle)
{
  return Guarded(FALSE, [&] { return RemoveInstance(chan, vstHandle); });
}

BOOL BASSVSTDEF(BASS_VST_EmbedEditor)(DWORD vstHandle, uintptr_t parentWindow)
{
  return Guarded(FALSE, [&] { return EmbedEditor(vstHandle, parentWindow); });
}

BOOL BASSVSTDEF(BASS_VST_GetInfo)(DWORD vstHandle, BASS_VST_INFO* info)
{
  return Guarded(FALSE, [&] { return FillInfo(vstHandle, info); });
}

float BASSVSTDEF(BASS_VST_GetParam)(DWORD vstHandle, int paramIndex)
{
  return Guarded(0.0f, [&] {
    const auto Instance = FindInstance(vstHandle);
    return Instance ? Instance->Plugin->GetParam(paramIndex) : 0.0f;
  });
}

BOOL BASSVSTDEF(BASS_VST_SetParam)(DWORD vstHandle, int paramIndex, float value)
{
  return Guarded(FALSE, [&] {
    const auto Instance = FindInstance(vstHandle);
    if (!Instance || !Instance->Plugin->IsParam(paramIndex))
      return FALSE;
    Instance->Plugin->SetParam(paramIndex, value);
    return TRUE;
  });
}

int BASSVSTDEF(BASS_VST_GetParamCount)(DWORD vstHandle)
{
  return Guarded(0, [&] {
    const auto Instance = FindInstance(vstHandle);
    return Instance ? Instance->Plugin->ParamCount() : 0;
  });
}

BOOL BASSVSTDEF(BASS_VST_GetParamInfo)(DWORD vstHandle, int paramIndex, BASS_VST_PARAM_INFO* ret)
{
  return Guarded(FALSE, [&] { return FillParamInfo(vstHandle, paramIndex, ret); });
}

} // extern "C"
