#include "app/startup.h"

#include "api/request_worker.h"
#include "app/app_hooks.h"
#include "app/main_frm.h"
#include "app/signal_closer.h"
#include "base/data_folders.h"
#include "base/localisation.h"
#include "dsp/plugins.h"
#include "dsp_ui/dsp_manager_fr.h"
#include "dsp_ui/mic_dsp_frm.h"
#include "dsp_ui/stage_windows.h"
#include "dsp_ui/value_control_accessible.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "ui_common/common_images.h"
#include "ui_common/message_box_ui.h"
#include "ui_common/translate_form.h"

#include "audio/bass.h"
#include "audio/bass_fx.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

// The audio library keeps the pointer it is given, so the text lives as long as the program.
QByteArray GUserAgent;

// How long shut-down waits for abandoned requests to unwind before it leaves them to the end of
// the process. Their transfers are cut off at once, so this is only ever reached by a request
// stuck where nothing can interrupt it (a name lookup).
constexpr int CWorkerGraceMs = 300;

} // namespace

void StartUp()
{
  // Before anything may report a failure.
  InstallUiHandlers();

  InitProgramFolder();
  InitDataFolder();

  PlayerIni = new TPlayerIni;
  PlayerIni->Read();
  SystemIni = new TSystemIni;
  SystemIni->Read();

  SetLanguageDir(SystemIni->LangDir());
  LoadMessages();

  BASS_FX_GetVersion();
  BASS_SetConfig(BASS_CONFIG_FLOATDSP, 1);
  GUserAgent = SystemIni->StreamUserAgent().toLocal8Bit();
  BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, GUserAgent.constData());

  Settings = new TSettings;
}

void InstallWindowHooks()
{
  // The chain editor opens the equalizer, compressor, gain and VST windows through a registry.
  RegisterStageWindows();
  InstallValueControlAccessibility();
  SetPluginSetupHook([](QWidget* AMainWindow) {
    SetupPlugins(
        SystemIni, DataFolder(), ProgramFolder() + QStringLiteral("Plugins/"),
        quintptr(AMainWindow->winId()), MessageText(MsgAreYouSure),
        [](QObject* AForm, const QString& ASection) {
          if (auto* Form = qobject_cast<QWidget*>(AForm))
            TranslateForm(Form, ASection);
        },
        [](QObject*) {});
  });
  SetMicDSPWindowFactory([](QWidget* AMainWindow) -> QDialog* {
    auto* Window = new TMicDSPFrm(AMainWindow);
    Window->DSPManagerFr()->UpdateDSPListView();
    return Window;
  });
}

int RunVexmo(QApplication& AApp)
{
  QApplication::setApplicationName(QStringLiteral("Vexmo"));
  QApplication::setOrganizationName(QStringLiteral("Korvane"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vexmo"));
  QApplication::setWindowIcon(CommonImage(QStringLiteral("record broadcast ")));

  StartUp();
  InstallWindowHooks();

  auto* MainFrm = new TMainFrm;
  int Result = 0;
  {
    TSignalCloser Closer(MainFrm);
    QObject::connect(MainFrm, &TMainFrm::Closed, &AApp, [] { QCoreApplication::exit(0); });
    MainFrm->show();
    Result = AApp.exec();
  }
  // Plug-ins are detached while the program is whole, never by exit handlers.
  ShutDownPlugins();

  // Nobody waits for the station any more: transfers are cut off and no callback will run.
  TAPI::AbandonAll();
  // FormDestroy: settings.ini is written here.
  delete MainFrm;

  QDeadlineTimer Deadline(CWorkerGraceMs);
  while (TAPI::LiveCount() > 0 && !Deadline.hasExpired())
    QThread::msleep(2);
  if (TAPI::LiveCount() > 0) {
    // A request that could not be interrupted still runs and may yet read the settings: end the
    // process without running the exit handlers under its feet. Every file is saved by now.
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(Result);
  }
  // The player and system settings are freed without being saved again.
  delete Settings;
  Settings = nullptr;
  delete SystemIni;
  SystemIni = nullptr;
  delete PlayerIni;
  PlayerIni = nullptr;
  return Result;
}
