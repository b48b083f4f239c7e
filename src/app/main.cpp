// Vexmo: a presenter's companion to the station's automation program.
#include "app/startup.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
  // Answered before anything needs a display.
  for (int I = 1; I < argc; ++I)
    if (std::strcmp(argv[I], "--version") == 0) {
      std::printf("vexmo %s\n", VEXMO_VERSION);
      return 0;
    }
  QApplication App(argc, argv);
  return RunVexmo(App);
}
