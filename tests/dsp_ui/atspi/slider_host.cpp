// Shows a real equalizer window and a real compressor window with known values, for an
// assistive-technology client to read over AT-SPI. Prints "ready" once both are on the screen
// and ends when its standard input closes (or after two minutes).
#include "dsp/plugins.h"
#include "dsp_ui/compressor_dsp_frm.h"
#include "dsp_ui/eq_dsp_frm.h"
#include "dsp_ui/value_control_accessible.h"
#include "settings/dsp_items.h"
#include "settings/system_ini.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vexmo-atspi-slider-host"));
  InstallValueControlAccessibility();

  QTemporaryDir Data;
  TSystemIni Settings;
  Settings.SetEQRange(12);
  const QString Folder = Data.path() + QLatin1Char('/');
  SetupPlugins(&Settings, Folder, Folder + QStringLiteral("Plugins/"), 0, QString(), {}, {});

  TDSPItemsC Chain;
  TDSPItemC* Eq = Chain.Add();
  Eq->SetT(dspIntegrated);
  Eq->SetIntDSPKind(dspEqualizer);
  QStringList Gains(Settings.BandsNum(), QStringLiteral("0"));
  Gains[0] = QStringLiteral("6");
  Gains[1] = QStringLiteral("-4");
  Eq->SetParams(Gains);
  TDSPItemC* Compressor = Chain.Add();
  Compressor->SetT(dspIntegrated);
  Compressor->SetIntDSPKind(dspCompressor);
  // Gain, threshold, ratio, attack (ms), release (ms).
  Compressor->SetParams({"2", "-10", "5", "20", "300"});

  TEqDSPFrm::Open(Eq, nullptr);
  TCompressorDSPFrm::Open(Compressor, nullptr);

  QTimer::singleShot(300, [] {
    std::puts("ready");
    std::fflush(stdout);
  });
  QSocketNotifier Input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&Input, &QSocketNotifier::activated, &App, [&Input] {
    char Buffer[64];
    if (::read(STDIN_FILENO, Buffer, sizeof Buffer) <= 0) {
      Input.setEnabled(false);
      QCoreApplication::quit();
    }
  });
  QTimer::singleShot(120000, &App, &QCoreApplication::quit);
  const int Result = App.exec();
  TEqDSPFrm::CloseOpen();
  TCompressorDSPFrm::CloseOpen();
  SetupPlugins(nullptr, QString(), QString(), 0, QString(), {}, {});
  return Result;
}
