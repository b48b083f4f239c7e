#include "winamp_dsp_host.h"

#include <algorithm>
#include <cmath>
#include <dlfcn.h>
#include <sys/stat.h>

namespace vexmo::audio {

namespace {

// Runs a plug-in as a stage of a channel; keeps the plug-in (and so its library) alive while
// attached.
class TWinampStage : public TStageProcessor
{
public:
  explicit TWinampStage(std::shared_ptr<TWinampPlugin> APlugin) : FPlugin(std::move(APlugin)) {}
  void Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq) override
  {
    FPlugin->Process(ASamples, AFrames, AChans, AFreq);
  }

private:
  std::shared_ptr<TWinampPlugin> FPlugin;
};

short ToShort(float ASample)
{
  const float scaled = std::nearbyint(ASample * 32768.0f);
  return static_cast<short>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

TWinampPlugin::TWinampPlugin(DWORD AHandle, std::string APath, void* ALibrary,
                             winampDSPHeader* AHeader)
    : FHandle(AHandle), FPath(std::move(APath)), FLibrary(ALibrary), FHeader(AHeader)
{}

TWinampPlugin::~TWinampPlugin()
{
  Stop();
  if (FLibrary)
    dlclose(FLibrary);
}

const char* TWinampPlugin::Name() const
{
  return FHeader->description ? FHeader->description : "";
}

bool TWinampPlugin::Start(int AModule, void* AParentWindow)
{
  std::lock_guard lock(FLock);
  if (FModule)
    return true;
  winampDSPModule* module = FHeader->getModule(AModule);
  if (!module) {
    SetError(BASS_ERROR_ILLPARAM);
    return false;
  }
  module->hwndParent = AParentWindow;
  module->hDllInstance = FLibrary;
  if (module->Init && module->Init(module) != 0) {
    SetError(BASS_ERROR_UNKNOWN);
    return false;
  }
  FModule = module;
  return true;
}

void TWinampPlugin::Stop()
{
  std::lock_guard lock(FLock);
  if (!FModule)
    return;
  if (FModule->Quit)
    FModule->Quit(FModule);
  FModule = nullptr;
}

bool TWinampPlugin::Config()
{
  winampDSPModule* module;
  {
    std::lock_guard lock(FLock);
    module = FModule ? FModule : FHeader->getModule(0);
  }
  // Not under the lock: a configuration dialog may take its time while audio keeps running.
  if (!module || !module->Config)
    return false;
  module->Config(module);
  return true;
}

void TWinampPlugin::SetSongTitle(const char* ATitle)
{
  std::lock_guard lock(FLock);
  FSongTitle = ATitle ? ATitle : "";
}

void TWinampPlugin::SetFileName(const char* AFile)
{
  std::lock_guard lock(FLock);
  FFileName = AFile ? AFile : "";
}

const char* TWinampPlugin::SongTitle()
{
  std::lock_guard lock(FLock);
  return FSongTitle.c_str();
}

const char* TWinampPlugin::FileName()
{
  std::lock_guard lock(FLock);
  return FFileName.c_str();
}

void TWinampPlugin::Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq)
{
  std::lock_guard lock(FLock);
  if (!FModule || !FModule->ModifySamples || AFrames == 0)
    return;
  const size_t count = static_cast<size_t>(AFrames) * AChans;
  // Room for twice the frames: a module may hand back more than it got.
  FBuffer.resize(count * 2);
  std::transform(ASamples, ASamples + count, FBuffer.begin(), ToShort);
  const int produced =
      FModule->ModifySamples(FModule, FBuffer.data(), static_cast<int>(AFrames), 16,
                             static_cast<int>(AChans), static_cast<int>(AFreq));
  // The channel's buffer keeps its length: extra frames are dropped, missing ones are silence.
  const size_t kept =
      static_cast<size_t>(std::clamp(produced, 0, static_cast<int>(AFrames))) * AChans;
  std::transform(FBuffer.begin(), FBuffer.begin() + kept, ASamples,
                 [](short ASample) { return ASample / 32768.0f; });
  std::fill(ASamples + kept, ASamples + count, 0.0f);
}

TWinampHost& TWinampHost::Instance()
{
  // Never destroyed: loaded plug-ins must not be unloaded behind a late caller at exit.
  static TWinampHost* host = new TWinampHost;
  return *host;
}

void TWinampHost::SetMainWindow(void* AWindow)
{
  std::lock_guard lock(FLock);
  FMainWindow = AWindow;
}

void* TWinampHost::MainWindow()
{
  std::lock_guard lock(FLock);
  return FMainWindow;
}

DWORD TWinampHost::Load(const char* APath)
{
  struct stat info;
  if (!APath || !*APath || stat(APath, &info) != 0 || !S_ISREG(info.st_mode)) {
    SetError(BASS_ERROR_FILEOPEN);
    return 0;
  }
  // RTLD_LOCAL: every plug-in exports the same entry point name.
  void* library = dlopen(APath, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    SetError(BASS_ERROR_FILEFORM);
    return 0;
  }
  auto getHeader = reinterpret_cast<winampDSPGetHeaderType>(dlsym(library, WINAMP_DSP_ENTRY_POINT));
  winampDSPHeader* header = getHeader ? getHeader() : nullptr;
  if (!header || (header->version & ~0xF) != WINAMP_DSP_HEADER_VERSION || !header->getModule ||
      !header->getModule(0)) {
    dlclose(library);
    SetError(BASS_ERROR_FILEFORM);
    return 0;
  }
  std::lock_guard lock(FLock);
  // The same file loaded twice would share one module's state behind two handles.
  for (const auto& [handle, plugin] : FPlugins) {
    if (plugin->Library() == library) {
      dlclose(library);
      SetError(BASS_ERROR_ALREADY);
      return 0;
    }
  }
  const DWORD handle = TAudioEngine::Instance().AllocateHandle();
  FPlugins[handle] = std::make_shared<TWinampPlugin>(handle, APath, library, header);
  SetError(BASS_OK);
  return handle;
}

std::shared_ptr<TWinampPlugin> TWinampHost::Plugin(DWORD AHandle)
{
  std::lock_guard lock(FLock);
  auto pos = FPlugins.find(AHandle);
  return pos == FPlugins.end() ? nullptr : pos->second;
}

bool TWinampHost::Free(DWORD AHandle)
{
  std::shared_ptr<TWinampPlugin> plugin;
  {
    std::lock_guard lock(FLock);
    auto pos = FPlugins.find(AHandle);
    if (pos == FPlugins.end())
      return false;
    plugin = pos->second;
    FPlugins.erase(pos);
  }
  Unload(plugin);
  return true;
}

void TWinampHost::FreeAll()
{
  std::map<DWORD, std::shared_ptr<TWinampPlugin>> plugins;
  {
    std::lock_guard lock(FLock);
    plugins.swap(FPlugins);
  }
  for (auto& [handle, plugin] : plugins)
    Unload(plugin);
}

void TWinampHost::Unload(const std::shared_ptr<TWinampPlugin>& APlugin)
{
  Detach(APlugin);
  APlugin->Stop();
  TAudioEngine::Instance().ReleaseHandle(APlugin->Handle());
  // The library itself is closed when the last reference goes (see the destructor).
}

HDSP TWinampHost::Attach(const std::shared_ptr<TWinampPlugin>& APlugin, DWORD AChannel,
                         int APriority)
{
  std::lock_guard lock(APlugin->AttachLock);
  if (!TAudioEngine::Instance().Channel(AChannel)) {
    SetError(BASS_ERROR_HANDLE);
    return 0;
  }
  if (APlugin->AttachedStage)
    TAudioEngine::Instance().DetachStage(APlugin->AttachedChannel, APlugin->AttachedStage,
                                         TStageKind::DSP);
  APlugin->AttachedChannel = 0;
  APlugin->AttachedStage = 0;
  TStage stage;
  stage.Kind = TStageKind::DSP;
  stage.Priority = APriority;
  stage.Processor = std::make_shared<TWinampStage>(APlugin);
  const HDSP dsp = TAudioEngine::Instance().AttachStage(AChannel, std::move(stage));
  if (!dsp) {
    SetError(BASS_ERROR_HANDLE);
    return 0;
  }
  APlugin->AttachedChannel = AChannel;
  APlugin->AttachedStage = dsp;
  SetError(BASS_OK);
  return dsp;
}

bool TWinampHost::Detach(const std::shared_ptr<TWinampPlugin>& APlugin)
{
  std::lock_guard lock(APlugin->AttachLock);
  if (!APlugin->AttachedStage)
    return false;
  // Fails only when the stream was freed meanwhile, which took the stage with it.
  TAudioEngine::Instance().DetachStage(APlugin->AttachedChannel, APlugin->AttachedStage,
                                       TStageKind::DSP);
  APlugin->AttachedChannel = 0;
  APlugin->AttachedStage = 0;
  return true;
}

} // namespace vexmo::audio

using namespace vexmo::audio;

namespace {

std::shared_ptr<TWinampPlugin> FindPlugin(HWADSP APlugin)
{
  auto plugin = TWinampHost::Instance().Plugin(APlugin);
  SetError(plugin ? BASS_OK : BASS_ERROR_HANDLE);
  return plugin;
}

} // namespace

extern "C" {

BOOL BASS_WADSP_Init(HWND hwndMain)
{
  TWinampHost::Instance().SetMainWindow(hwndMain);
  SetError(BASS_OK);
  return TRUE;
}

BOOL BASS_WADSP_Free(void)
{
  TWinampHost::Instance().FreeAll();
  SetError(BASS_OK);
  return TRUE;
}

BOOL BASS_WADSP_FreeDSP(HWADSP plugin)
{
  if (!TWinampHost::Instance().Free(plugin)) {
    SetError(BASS_ERROR_HANDLE);
    return FALSE;
  }
  SetError(BASS_OK);
  return TRUE;
}

HWADSP BASS_WADSP_Load(const char* dspfile, int x, int y, int width, int height,
                       WINAMPWINPROC* proc)
{
  return TWinampHost::Instance().Load(dspfile);
}

const char* BASS_WADSP_GetName(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  return found ? found->Name() : nullptr;
}

BOOL BASS_WADSP_Start(HWADSP plugin, DWORD module, DWORD hchan)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  if (module > 0x7fffffff) {
    SetError(BASS_ERROR_ILLPARAM);
    return FALSE;
  }
  return found->Start(static_cast<int>(module), TWinampHost::Instance().MainWindow()) ? TRUE
                                                                                      : FALSE;
}

BOOL BASS_WADSP_Stop(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  found->Stop();
  return TRUE;
}

HDSP BASS_WADSP_ChannelSetDSP(HWADSP plugin, DWORD hchan, int priority)
{
  auto found = FindPlugin(plugin);
  return found ? TWinampHost::Instance().Attach(found, hchan, priority) : 0;
}

BOOL BASS_WADSP_ChannelRemoveDSP(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  if (!TWinampHost::Instance().Detach(found)) {
    SetError(BASS_ERROR_NOTAVAIL);
    return FALSE;
  }
  return TRUE;
}

BOOL BASS_WADSP_SetSongTitle(HWADSP plugin, const char* title)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  found->SetSongTitle(title);
  return TRUE;
}

BOOL BASS_WADSP_SetFileName(HWADSP plugin, const char* file)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  found->SetFileName(file);
  return TRUE;
}

const char* BASS_WADSP_GetSongTitle(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  return found ? found->SongTitle() : nullptr;
}

const char* BASS_WADSP_GetFileName(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  return found ? found->FileName() : nullptr;
}

BOOL BASS_WADSP_Config(HWADSP plugin)
{
  auto found = FindPlugin(plugin);
  if (!found)
    return FALSE;
  if (!found->Config()) {
    SetError(BASS_ERROR_NOTAVAIL);
    return FALSE;
  }
  return TRUE;
}

} // extern "C"
