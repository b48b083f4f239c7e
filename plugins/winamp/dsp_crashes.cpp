// A Winamp DSP plug-in that dies of a bad memory access as soon as it is asked for its header: a
// test fixture only, kept out of the program folder.
#include "winamp_dsp.h"

#include <csignal>

extern "C" __attribute__((visibility("default"))) winampDSPHeader* winampDSPGetHeader2()
{
  std::raise(SIGSEGV);
  return nullptr;
}
