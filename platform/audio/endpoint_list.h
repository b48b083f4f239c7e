// The sound endpoints behind BASS_WASAPI_GetDeviceInfo, read from the sound server with libpulse.
#pragma once

#include "basswasapi.h"

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace vexmo::audio {

class TEndpointList
{
public:
  static TEndpointList& Instance();

  // Reads the list afresh; an unreachable server (or one slower than ATimeoutMs) gives an empty
  // list, silently.
  void Refresh(int ATimeoutMs = 2000);
  // Fills AInfo from the last list (read once if it never was); false past its end.
  bool Device(DWORD AIndex, BASS_WASAPI_DEVICEINFO& AInfo);
  // Whether the last enumeration reached the sound server.
  bool Reachable();

private:
  TEndpointList() = default;
  // Texts handed out stay valid for the process's life, also across refreshes.
  const char* Intern(const std::string& AText);

  std::mutex FLock;
  bool FRead = false;
  bool FReachable = false;
  std::vector<BASS_WASAPI_DEVICEINFO> FDevices;
  std::set<std::string> FTexts;
};

} // namespace vexmo::audio
