// quillon: records voice tracks through the presenter's microphone chain.
#include "recorder/command_line.h"
#include "recorder/recorder_frm.h"
#include "recorder/recorder_startup.h"
#include "recorder/scripted_record.h"
#include "recorder/take_handover_client.h"

#include "app/signal_closer.h"
#include "dsp_ui/stage_windows.h"
#include "dsp_ui/value_control_accessible.h"
#include "ui_common/common_images.h"
#include "ui_common/message_box_ui.h"

#include <QApplication>
#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
  QStringList Args;
  for (int I = 0; I < argc; ++I)
    Args << QString::fromLocal8Bit(argv[I]);
  const TCommandLine Cmd = ParseCommandLine(Args);
  if (Cmd.Help) {
    std::fputs(qUtf8Printable(UsageText()), stdout);
    return CExitOk;
  }
  if (!Cmd.Error.isEmpty()) {
    std::fprintf(stderr, "quillon: %s\n\n%s", qUtf8Printable(Cmd.Error),
                 qUtf8Printable(UsageText()));
    return CExitUsage;
  }

  if (Cmd.Record) {
    // No window and no display needed.
    QCoreApplication App(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon"));
    RecorderStartUp(false);
    const int Result = RunScriptedRecord(Cmd);
    RecorderShutDown();
    return Result;
  }

  QApplication App(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillon"));
  QApplication::setOrganizationName(QStringLiteral("Korvane"));
  QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
  QApplication::setWindowIcon(CommonImage(QStringLiteral("record broadcast ")));
  InstallUiHandlers();
  RecorderStartUp(true);
  RegisterStageWindows();
  InstallValueControlAccessibility();

  std::unique_ptr<TTakeHandoverClient> Client;
  TRecorderFrm::THandOver HandOver;
  if (Cmd.Vexmo) {
    Client = std::make_unique<TTakeHandoverClient>();
    HandOver = [&Client](const QString& AFile, std::function<void(bool, const QString&)> ADone) {
      Client->Send(AFile, std::move(ADone));
    };
  }
  int Result = 0;
  {
    auto* Window = new TRecorderFrm(HandOver);
    TSignalCloser Closer(Window);
    Window->setAttribute(Qt::WA_DeleteOnClose);
    Window->show();
    Result = App.exec();
  }
  RecorderShutDown();
  return Result;
}
