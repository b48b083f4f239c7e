// A bare host: binds the bridge, attaches the plug-ins named on the command line (once for
// editing only, once to a decoding stream) and ends by returning from main with them still
// attached, as a program that is closed without stopping its stages does. Its exit status must
// be 0 whatever the plug-ins' own static objects do at exit.
#include "audio/bass.h"
#include "vst/bass_vst.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>

int main(int argc, char** argv)
{
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <bridge> <plug-in>...\n", argv[0]);
    return 2;
  }
  void* Bridge = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!Bridge) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto SetDSP = reinterpret_cast<BASS_VST_ChannelSetDSP_t>(dlsym(Bridge, "BASS_VST_ChannelSetDSP"));
  if (!SetDSP)
    return 2;
  const HSTREAM Stream = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
  for (int i = 2; i < argc; ++i) {
    for (DWORD Channel : {DWORD(0), DWORD(Stream)}) {
      if (SetDSP(Channel, argv[i], 0, 49) == 0) {
        std::fprintf(stderr, "not loaded: %s\n", argv[i]);
        return 3;
      }
    }
  }
  // Run audio through them once, so their processing state exists too.
  float Samples[2048] = {};
  BASS_ChannelProcess(Stream, Samples, sizeof(Samples));
  std::printf("attached\n");
  std::fflush(stdout);
  return 0;
}
