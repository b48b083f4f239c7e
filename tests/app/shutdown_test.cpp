// The real program, run as the desktop runs it: ended by a signal while its requests hang on a
// station that never answers, it saves everything and ends at once, without a warning.
#include "app_fixture.h"
#include "base/ini_file.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <csignal>

namespace {

class TShutdown : public TAppFixture, public ::testing::WithParamInterface<int>
{
protected:
  // A copy of the program and its audio library in the test's folder, which is then its
  // program and data folder (no uid.ini).
  bool InstallProgram()
  {
    for (const QString& File :
         {QStringLiteral(VEXMO_PROGRAM), QStringLiteral(VEXMO_AUDIO_LIBRARY)}) {
      const QString Target = Folder() + QFileInfo(File).fileName();
      if (!QFile::copy(File, Target))
        return false;
      QFile::setPermissions(Target, QFile::permissions(File));
    }
    return true;
  }
};

TEST_P(TShutdown, SignalClosesTheWindowSavesAndEndsAtOnce)
{
  TStationServer& Station = StartStation(Entries(5));
  Station.SetUnresponsive(true);
  ASSERT_TRUE(InstallProgram());
  ConnectTo(Station);
  Settings->Save(); // what the program will read
  ASSERT_TRUE(QFile::exists(Folder() + QStringLiteral("settings.ini")));

  QTemporaryDir Runtime;
  ASSERT_TRUE(Runtime.isValid());
  QFile::setPermissions(Runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QProcess Program;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Runtime.path());
  Env.remove(QStringLiteral("QT_LOGGING_RULES"));
  Program.setProcessEnvironment(Env);
  Program.setWorkingDirectory(Folder());
  Program.start(Folder() + QStringLiteral("vexmo"), {});
  ASSERT_TRUE(Program.waitForStarted(10000));
  // The window is up once its first playlist request reaches the station, which holds it.
  ASSERT_TRUE(Station.WaitForRequests(1, 20000)) << Program.readAllStandardError().constData();

  QElapsedTimer Clock;
  Clock.start();
  ::kill(pid_t(Program.processId()), GetParam());
  ASSERT_TRUE(Program.waitForFinished(10000));
  const qint64 Took = Clock.elapsed();
  EXPECT_LT(Took, 3000);
  EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Program.exitCode(), 0);

  // Nothing but the offscreen platform's own note about size hints, which a real desktop never
  // prints.
  QStringList Errors = QString::fromLocal8Bit(Program.readAllStandardError())
                           .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  Errors.removeAll(QStringLiteral("This plugin does not support propagateSizeHints()"));
  EXPECT_TRUE(Errors.isEmpty()) << Str(Errors.join(QLatin1Char('\n')));

  // Everything the close and the destruction save.
  const TIniFile Placement(Folder() + QStringLiteral("windowpos.ini"));
  EXPECT_TRUE(Placement.ValueExists(QString(), QStringLiteral("S")));
  EXPECT_TRUE(QFile::exists(Folder() + QStringLiteral("system.ini")));
  QFile SettingsFile(Folder() + QStringLiteral("settings.ini"));
  ASSERT_TRUE(SettingsFile.open(QIODevice::ReadOnly));
  const QByteArray Text = SettingsFile.readAll();
  EXPECT_TRUE(Text.contains("Visible = True")) << Text.constData();
  EXPECT_TRUE(Text.contains("Server = '127.0.0.1'")) << Text.constData();
}

INSTANTIATE_TEST_SUITE_P(Signals, TShutdown, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& AInfo) {
                           return std::string(AInfo.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

} // namespace
