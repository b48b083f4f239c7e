// How long the VST scan takes with Debian's plug-ins: each file examined in the probe helper
// (cold: no cache in the data folder) and answered from the cache (cached: unchanged files).
// Two folders: Debian's dpf-plugins-vst alone (/usr/lib/vst without its subfolder of lsp
// plug-ins, gathered by links), and /usr/lib/vst with dpf-plugins-vst and lsp-plugins-vst.
// Prints one line per case with the plug-in count and the wall-clock time of a whole scan
// (median of the runs), and for the cold scan the CPU time it took, probe helpers included.
#include "base/data_folders.h"
#include "base/message_box.h"
#include "dsp/plugins.h"
#include "settings/system_ini.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

const QString SystemFolder = QStringLiteral("/usr/lib/vst/");

struct TScan
{
  double Ms = 0;
  // CPU time of this process and of the probe helpers it waited for: on a busy machine the wall
  // clock shows the load as much as the scan.
  double CpuMs = 0;
  int Plugins = 0;
};

double CpuMs()
{
  double Total = 0;
  for (int Who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage Usage{};
    getrusage(Who, &Usage);
    Total += (Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) * 1e3 +
             (Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e3;
  }
  return Total;
}

// One scan from a dropped list, as switching VST off and on does.
TScan Scan(TSystemIni& ASettings)
{
  ASettings.SetAllowVstPlugins(false);
  LoadVSTList();
  ASettings.SetAllowVstPlugins(true);
  const double CpuBefore = CpuMs();
  QElapsedTimer Clock;
  Clock.start();
  LoadVSTList();
  TScan Result;
  Result.Ms = static_cast<double>(Clock.nsecsElapsed()) / 1e6;
  Result.CpuMs = CpuMs() - CpuBefore;
  Result.Plugins = VSTPlugins() ? static_cast<int>(VSTPlugins()->size()) : 0;
  return Result;
}

double Median(std::vector<double> AValues)
{
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

void Measure(const char* AName, const QString& AFolder, int AColdRuns, int ACachedRuns)
{
  TSystemIni Settings;
  Settings.SetVSTFolder({AFolder});
  std::vector<double> Cold;
  std::vector<double> ColdCpu;
  std::vector<double> Cached;
  int Plugins = 0;
  for (int Run = 0; Run < AColdRuns; ++Run) {
    // A fresh data folder: nothing cached.
    QTemporaryDir Data;
    SetupPlugins(&Settings, Data.path() + QLatin1Char('/'), ProgramFolder() + "Plugins/", 0,
                 QString(), {}, {});
    const TScan First = Scan(Settings);
    Cold.push_back(First.Ms);
    ColdCpu.push_back(First.CpuMs);
    Plugins = First.Plugins;
    if (Run == 0)
      for (int i = 0; i < ACachedRuns; ++i)
        Cached.push_back(Scan(Settings).Ms);
  }
  Settings.SetAllowVstPlugins(false);
  LoadVSTList();
  std::printf("%-28s plugins=%4d  cold_ms=%9.1f (cpu %8.1f)  cached_ms=%7.1f  (median of %d "
              "cold, %d cached runs)\n",
              AName, Plugins, Median(Cold), Median(ColdCpu), Median(Cached), AColdRuns,
              ACachedRuns);
  std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  InitProgramFolder();
  int Boxes = 0;
  SetMessageBoxHandler([&Boxes](const QString& AText, const QString&, int) {
    ++Boxes;
    std::fprintf(stderr, "message: %s\n", qPrintable(AText));
    return 1;
  });
  if (!QDir(SystemFolder).exists()) {
    std::fprintf(stderr, "%s is missing: install dpf-plugins-vst and lsp-plugins-vst\n",
                 qPrintable(SystemFolder));
    return 1;
  }
  // dpf-plugins-vst alone: everything in the folder but the lsp-plugins subfolder, by links.
  QTemporaryDir Dpf;
  for (const QString& Entry : QDir(SystemFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
    if (Entry != QLatin1String("lsp-plugins"))
      QFile::link(SystemFolder + Entry, Dpf.path() + QLatin1Char('/') + Entry);

  Measure("dpf-plugins-vst", Dpf.path(), 5, 20);
  Measure("dpf-plugins-vst+lsp-plugins", SystemFolder, 3, 20);
  return Boxes == 0 ? 0 : 1;
}
