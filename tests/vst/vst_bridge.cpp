#include "vst_bridge.h"

#include <X11/Xlib.h>
#include <dlfcn.h>

namespace {

template <typename T> bool Bind(void* ALibrary, const char* AName, T& AEntry, std::string& AError)
{
  AEntry = reinterpret_cast<T>(dlsym(ALibrary, AName));
  if (!AEntry)
    AError += std::string("missing ") + AName + "; ";
  return AEntry != nullptr;
}

TVstBridge LoadBridge()
{
  TVstBridge Bridge;
  void* Library = dlopen(VEXMO_BIN_DIR "libbass_vst.so", RTLD_NOW | RTLD_LOCAL);
  if (!Library) {
    Bridge.Error = dlerror();
    return Bridge;
  }
  bool Ok = Bind(Library, "BASS_VST_ChannelSetDSP", Bridge.ChannelSetDSP, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_ChannelRemoveDSP", Bridge.ChannelRemoveDSP, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_EmbedEditor", Bridge.EmbedEditor, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_GetInfo", Bridge.GetInfo, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_GetParam", Bridge.GetParam, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_SetParam", Bridge.SetParam, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_GetParamCount", Bridge.GetParamCount, Bridge.Error);
  Ok &= Bind(Library, "BASS_VST_GetParamInfo", Bridge.GetParamInfo, Bridge.Error);
  Bridge.Bound = Ok;
  return Bridge;
}

} // namespace

const TVstBridge& TVstBridge::Get()
{
  static const TVstBridge Bridge = LoadBridge();
  return Bridge;
}

DWORD TVstBridge::Load(DWORD AChannel, const QString& APath, int APriority) const
{
  return ChannelSetDSP(AChannel, APath.utf16(), BASS_UNICODE, APriority);
}

QString TestGainPath()
{
  return QStringLiteral(VEXMO_BIN_DIR "VST/vexmo_testgain.so");
}

QString BrokenPluginPath(const char* AKind)
{
  return QStringLiteral(VEXMO_VST_FIXTURES_DIR) + "lib" + AKind + ".so";
}

bool HaveXDisplay()
{
  static const bool Available = [] {
    Display* Connection = XOpenDisplay(nullptr);
    if (Connection)
      XCloseDisplay(Connection);
    return Connection != nullptr;
  }();
  return Available;
}
