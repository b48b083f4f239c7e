#include "settings_ui/capture_endpoints.h"

#include "audio/bass.h"
#include "audio/basswasapi.h"

bool ListCaptureEndpoints(TCaptureEndpointNames& ANames, QStringList& AIds)
{
  AIds.clear();
  BASS_WASAPI_DEVICEINFO Info{};
  // The device index keeps advancing over skipped endpoints, so that it stays the endpoint's
  // index in the library's list.
  DWORD I = 0;
  for (; BASS_WASAPI_GetDeviceInfo(I, &Info); ++I) {
    const DWORD Wanted = BASS_DEVICE_INPUT | BASS_DEVICE_ENABLED;
    if ((Info.flags & Wanted) != Wanted || (Info.flags & BASS_DEVICE_LOOPBACK))
      continue;
    ANames.append({QString::fromUtf8(Info.name ? Info.name : ""), I});
    AIds.append(QString::fromUtf8(Info.id ? Info.id : ""));
  }
  return !(I == 0 && BASS_ErrorGetCode() == BASS_ERROR_WASAPI);
}
