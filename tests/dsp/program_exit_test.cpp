// The real program with a ticked VST stage from Debian's plug-ins in player.ini: the stage is
// switched on in the microphone DSP window without the add dialog ever being opened, and the
// program, closed normally, ends with status 0.
#include "dsp_test_support.h"
#include "settings/player_ini.h"

#include <QFileInfo>
#include <QProcess>

using namespace dsptest;

namespace {

#ifdef VEXMO_PROGRAM

TEST(ProgramExit, TickedDebianVSTStageRunsAndTheProgramEndsCleanly)
{
  const QString Plugin = QStringLiteral("/usr/lib/vst/MaFreeverb-vst.so");
  ASSERT_TRUE(QFileInfo::exists(Plugin)) << "install dpf-plugins-vst";
  QTemporaryDir Folder;
  ASSERT_TRUE(Folder.isValid());
  const QString Dir = Folder.path() + QLatin1Char('/');
  // A program folder of its own, which is its data folder too.
  for (const QString& File : {QStringLiteral(VEXMO_PROGRAM), BinDir() + "libvexmo_audio.so",
                              BinDir() + "libbass_vst.so", BinDir() + "vexmo-plugin-probe"}) {
    const QString Target = Dir + QFileInfo(File).fileName();
    ASSERT_TRUE(QFile::copy(File, Target)) << File.toStdString();
    QFile::setPermissions(Target, QFile::permissions(File));
  }
  InitProgramFolder(Dir);
  InitDataFolder();
  {
    TSystemIni System;
    System.SetAllowVstPlugins(true);
    System.Save();
    TPlayerIni Player;
    TDSPItemC* Stage = Player.MicDSPList().Add();
    Stage->SetT(dspPlugin);
    Stage->SetPluginType(ptVST);
    Stage->SetPluginPath(Plugin);
    Stage->SetDispName(QStringLiteral("(VST) DISTRHO MaFreeverb [MaFreeverb-vst.so]"));
    Stage->SetState(psActive);
    Player.Save();
  }
  InitProgramFolder(BinDir());
  InitDataFolder();

  QTemporaryDir Runtime;
  QFile::setPermissions(Runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcess Program;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Runtime.path());
  Env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VEXMO_UI_AGENT));
  Env.insert(QStringLiteral("VEXMO_AGENT_REPORT"), Dir + "agent.txt");
  Env.insert(QStringLiteral("VEXMO_AGENT_PLUGIN"), QFileInfo(Plugin).fileName());
  Program.setProcessEnvironment(Env);
  Program.setWorkingDirectory(Dir);
  Program.start(Dir + "vexmo", {});
  ASSERT_TRUE(Program.waitForStarted(10000));
  ASSERT_TRUE(Program.waitForFinished(60000));
  const QByteArray Errors = Program.readAllStandardError();
  QFile Report(Dir + "agent.txt");
  ASSERT_TRUE(Report.open(QIODevice::ReadOnly)) << Errors.constData();
  EXPECT_EQ(Report.readAll(), QByteArray("running\nclosing\n")) << Errors.constData();
  EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit) << Errors.constData();
  EXPECT_EQ(Program.exitCode(), 0) << Errors.constData();
}

#endif

} // namespace
