#include "dsp/vst_binding.h"

#include "base/data_folders.h"

#include <QFileInfo>
#include <dlfcn.h>

const QString VSTBridgeFileName = QStringLiteral("libbass_vst.so");

namespace {

void* GModule = nullptr;
TVSTBridge GBridge;
QString GBindError;
QString GFallbackName = VSTBridgeFileName;

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
  GBridge = Bridge;
  GBindError.clear();
  return true;
}

void UnbindVST()
{
  if (GModule)
    dlclose(GModule);
  GModule = nullptr;
  GBridge = TVSTBridge();
}

bool VSTBound()
{
  return GModule != nullptr;
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
