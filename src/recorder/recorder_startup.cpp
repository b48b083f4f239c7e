#include "recorder/recorder_startup.h"

#include "base/data_folders.h"
#include "base/localisation.h"
#include "base/message_box.h"
#include "dsp/plugins.h"
#include "recorder/recorder_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"

#include "audio/bass.h"
#include "audio/bass_fx.h"

#include <QDir>
#include <cstdio>

namespace {

TRecorderSettings* GRecorderSettings = nullptr;
QByteArray GUserAgent;

} // namespace

void RecorderStartUp(bool AWithWindows, const QString& AProgramFolder)
{
  if (!AWithWindows)
    SetMessageBoxHandler([](const QString& AText, const QString& ACaption, int AFlags) {
      std::fprintf(stderr, "quillon: %s\n", qUtf8Printable(AText));
      return DefaultMessageBoxAnswer(AFlags);
    });
  InitProgramFolder(AProgramFolder);
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
  GRecorderSettings = new TRecorderSettings;
  GRecorderSettings->Read();
  if (!AWithWindows)
    SetupPlugins(SystemIni, DataFolder(), ProgramFolder() + QStringLiteral("Plugins/"), 0,
                 MessageText(MsgAreYouSure), {}, {});
}

void RecorderShutDown()
{
  delete GRecorderSettings;
  GRecorderSettings = nullptr;
  delete SystemIni;
  SystemIni = nullptr;
  delete PlayerIni;
  PlayerIni = nullptr;
}

TRecorderSettings& RecorderSettings()
{
  // Made on first use where start-up did not run (a window inside another program's tests).
  if (!GRecorderSettings) {
    GRecorderSettings = new TRecorderSettings;
    GRecorderSettings->Read();
  }
  return *GRecorderSettings;
}

QString VoiceTrackFolder()
{
  QString Folder = ExpandDataPath(PlayerIni ? PlayerIni->VoiceTracksFolder() : QString());
  if (Folder.isEmpty())
    Folder = DataFolder();
  if (!Folder.endsWith(QLatin1Char('/')))
    Folder += QLatin1Char('/');
  QDir().mkpath(Folder);
  return Folder;
}
