#include "dsp/vst_binding.h"

#include "base/data_folders.h"
#include "base/message_box.h"
#include "dsp/plugins.h"
#include "settings/system_ini.h"

#include <QFileInfo>
#include <dlfcn.h>
#include <link.h>

const QString VSTBridgeFileName = QStringLiteral("libbass_vst.so");

namespace {

void* GModule = nullptr;
TVSTBridge GBridge;
QString GBindError;
QString GFallbackName = VSTBridgeFileName;
QString GPath;
// The bridge's own call, behind the checking one that the program is given.
BASS_VST_ChannelSetDSP_t GBridgeSetDSP = nullptr;

QString PluginFileText(const void* AFile, DWORD AFlags)
{
  if (!AFile)
    return {};
  return (AFlags & BASS_UNICODE) ? QString::fromUtf16(static_cast<const char16_t*>(AFile))
                                 : QString::fromUtf8(static_cast<const char*>(AFile));
}

DWORD CheckedChannelSetDSP(DWORD AChannel, const void* AFile, DWORD AFlags, int APriority)
{
  const DWORD Handle = GBridgeSetDSP(AChannel, AFile, AFlags, APriority);
  if (Handle == 0)
    return 0;
  const int Count = GBridge.GetParamCount(Handle);
  if (Count <= VSTMaxParams)
    return Handle;
  GBridge.ChannelRemoveDSP(AChannel, Handle);
  MyMessageBox(QStringLiteral("The VST plugin %1 reports %2 parameters and is not used: a plugin "
                              "may have at most %3.")
                   .arg(PluginFileText(AFile, AFlags), QString::number(Count),
                        QString::number(VSTMaxParams)),
               QStringLiteral("Error"), MB_ICONERROR);
  return 0;
}

// The full path the loader took the library from (a plain name is resolved by its search).
QString LoadedPath(void* AModule, const QString& AName)
{
  link_map* Map = nullptr;
  if (dlinfo(AModule, RTLD_DI_LINKMAP, &Map) == 0 && Map && Map->l_name && Map->l_name[0])
    return QFile::decodeName(Map->l_name);
  return AName;
}

template <class T> bool Bind(void* AModule, const char* AName, T& AEntry)
{
  AEntry = reinterpret_cast<T>(dlsym(AModule, AName));
  return AEntry != nullptr;
}

QString LoaderError()
{
  const char* Text = dlerror();
  return Text ? QString::fromLocal8Bit(Text) : QStringLiteral("Unable to load the VST bridge");
}

} // namespace

bool BindVST()
{
  // The bridge beside the program wins; only without one there is the system's copy tried.
  const QString Local = ProgramFolder() + VSTBridgeFileName;
  const QString Path = QFileInfo(Local).isFile() ? Local : GFallbackName;
  dlerror();
  void* Module = dlopen(QFile::encodeName(Path).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!Module) {
    GBindError = LoaderError();
    UnbindVST();
    return false;
  }
  TVSTBridge Bridge;
  const bool Complete = Bind(Module, "BASS_VST_ChannelSetDSP", Bridge.ChannelSetDSP) &&
                        Bind(Module, "BASS_VST_ChannelRemoveDSP", Bridge.ChannelRemoveDSP) &&
                        Bind(Module, "BASS_VST_EmbedEditor", Bridge.EmbedEditor) &&
                        Bind(Module, "BASS_VST_GetInfo", Bridge.GetInfo) &&
                        Bind(Module, "BASS_VST_GetParam", Bridge.GetParam) &&
                        Bind(Module, "BASS_VST_SetParam", Bridge.SetParam) &&
                        Bind(Module, "BASS_VST_GetParamCount", Bridge.GetParamCount) &&
                        Bind(Module, "BASS_VST_GetParamInfo", Bridge.GetParamInfo);
  if (!Complete) {
    GBindError = QStringLiteral("Unable to locate a function (VST)");
    dlclose(Module);
    UnbindVST();
    return false;
  }
  // Loading again took another reference; the earlier one is let go so the count stays one.
  if (GModule)
    dlclose(GModule);
  GModule = Module;
  GBridgeSetDSP = Bridge.ChannelSetDSP;
  Bridge.ChannelSetDSP = &CheckedChannelSetDSP;
  GBridge = Bridge;
  GPath = LoadedPath(Module, Path);
  GBindError.clear();
  return true;
}

void UnbindVST()
{
  if (GModule)
    dlclose(GModule);
  GModule = nullptr;
  GBridge = TVSTBridge();
  GBridgeSetDSP = nullptr;
  GPath.clear();
}

bool VSTBound()
{
  if (!GModule) {
    const TSystemIniBase* Settings = PluginSettings();
    if (Settings && Settings->AllowVstPlugins())
      BindVST();
  }
  return GModule != nullptr;
}

QString VSTBridgePath()
{
  return GPath;
}

const TVSTBridge& VST()
{
  return GBridge;
}

QString VSTBindError()
{
  return GBindError;
}

QString SetVSTBridgeFallbackName(const QString& AName)
{
  QString Previous = GFallbackName;
  GFallbackName = AName;
  return Previous;
}
