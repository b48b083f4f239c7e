// Vexmo: a presenter's companion to the station's automation program.
#include "app/startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
  QApplication App(argc, argv);
  return RunVexmo(App);
}
