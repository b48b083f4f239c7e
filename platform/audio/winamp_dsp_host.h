// Hosting of Winamp-style DSP plug-ins (winamp_dsp.h) for the BASS_WADSP_* calls.
#pragma once

#include "audio_engine.h"
#include "bass_wadsp.h"
#include "winamp_dsp.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vexmo::audio {

// One loaded plug-in file. Its module runs on the processing thread while the caller's thread
// starts, stops and configures it, so both go through FLock.
class TWinampPlugin
{
public:
  TWinampPlugin(DWORD AHandle, std::string APath, void* ALibrary, winampDSPHeader* AHeader);
  ~TWinampPlugin();

  DWORD Handle() const { return FHandle; }
  const std::string& Path() const { return FPath; }
  void* Library() const { return FLibrary; }
  const char* Name() const;

  bool Start(int AModule, void* AParentWindow);
  void Stop();
  bool Config();
  void SetSongTitle(const char* ATitle);
  void SetFileName(const char* AFile);
  const char* SongTitle();
  const char* FileName();

  // Runs the started module over float samples; passes them unchanged while stopped.
  void Process(float* ASamples, DWORD AFrames, DWORD AChans, DWORD AFreq);

  // Serialises attaching and detaching; never held while processing.
  std::mutex AttachLock;
  DWORD AttachedChannel = 0;
  HDSP AttachedStage = 0;

private:
  DWORD FHandle;
  std::string FPath;
  void* FLibrary;
  winampDSPHeader* FHeader;
  std::mutex FLock;
  winampDSPModule* FModule = nullptr; // the started module, null while stopped
  std::vector<short> FBuffer;
  std::string FSongTitle;
  std::string FFileName;
};

class TWinampHost
{
public:
  static TWinampHost& Instance();

  void SetMainWindow(void* AWindow);
  void* MainWindow();

  // 0 and the error code set on failure.
  DWORD Load(const char* APath);
  std::shared_ptr<TWinampPlugin> Plugin(DWORD AHandle);
  bool Free(DWORD AHandle);
  void FreeAll();

  HDSP Attach(const std::shared_ptr<TWinampPlugin>& APlugin, DWORD AChannel, int APriority);
  bool Detach(const std::shared_ptr<TWinampPlugin>& APlugin);

private:
  TWinampHost() = default;
  void Unload(const std::shared_ptr<TWinampPlugin>& APlugin);

  std::mutex FLock;
  void* FMainWindow = nullptr;
  std::map<DWORD, std::shared_ptr<TWinampPlugin>> FPlugins;
};

} // namespace vexmo::audio
