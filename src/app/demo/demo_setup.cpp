// vexmo-demo-setup: points the settings.ini of a portable program folder at a station, keeping
// everything else the file holds (the column layout above all). Used by scripts/run.sh, which
// starts a local station on a free port for each run; Vexmo itself takes no options.
//
//   vexmo-demo-setup FOLDER SERVER PORT USER PASSWORD
#include "base/data_folders.h"
#include "settings/connection_settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  const QStringList Args = App.arguments();
  if (Args.size() != 6) {
    std::fprintf(stderr,
                 "Usage: vexmo-demo-setup FOLDER SERVER PORT USER PASSWORD\n"
                 "Writes the station's address and credentials into FOLDER/settings.ini.\n");
    return 2;
  }
  bool PortOk = false;
  const int Port = Args[3].toInt(&PortOk);
  if (!PortOk || Port < 1 || Port > 65535) {
    std::fprintf(stderr, "vexmo-demo-setup: the port must be a number from 1 to 65535\n");
    return 2;
  }
  if (!QFileInfo(Args[1]).isDir()) {
    std::fprintf(stderr, "vexmo-demo-setup: no folder %s\n", qPrintable(Args[1]));
    return 1;
  }
  InitProgramFolder(Args[1]);
  InitDataFolder();
  if (DataFolder() != ProgramFolder()) {
    std::fprintf(stderr, "vexmo-demo-setup: %s has a uid.ini, so its settings live elsewhere\n",
                 qPrintable(Args[1]));
    return 1;
  }
  // Read and Save report failures through the message box seam, which logs them here.
  Settings = new TSettings;
  Settings->Read();
  Settings->SetServer(Args[2]);
  Settings->SetPort(Port);
  Settings->SetTLS(false);
  Settings->SetUser(Args[4]);
  Settings->SetPass(Args[5]);
  Settings->Save();
  TSettings Check;
  Check.Read();
  if (Check.Port() != Port || Check.Server() != Args[2]) {
    std::fprintf(stderr, "vexmo-demo-setup: could not write %s\n",
                 qPrintable(TSettings::FileName()));
    return 1;
  }
  std::printf("%s\n", qPrintable(TSettings::FileName()));
  return 0;
}
