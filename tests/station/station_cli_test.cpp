// The vexmo-station program: options, start-up message, serving, and a clean stop on SIGTERM.
#include "http_fetch.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

namespace {

const QString CProgram = QStringLiteral(VEXMO_BIN_DIR "vexmo-station");

struct TRun
{
  int ExitCode = -1;
  QString Out;
  QString Err;
};

TRun RunStation(const QStringList& AArgs)
{
  QProcess Process;
  Process.start(CProgram, AArgs);
  TRun Result;
  if (!Process.waitForFinished(10000)) {
    Process.kill();
    Process.waitForFinished();
    return Result;
  }
  Result.ExitCode = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
  Result.Out = QString::fromLocal8Bit(Process.readAllStandardOutput());
  Result.Err = QString::fromLocal8Bit(Process.readAllStandardError());
  return Result;
}

TEST(StationProgram, HelpDescribesEveryOption)
{
  const TRun Help = RunStation({QStringLiteral("--help")});
  EXPECT_EQ(Help.ExitCode, 0);
  for (const char* Option :
       {"--address ADDR", "--port N", "--user NAME", "--password PASS", "--entries N",
        "--roll SECONDS", "--storage DIR", "--cert FILE", "--key FILE"})
    EXPECT_TRUE(Help.Out.contains(QLatin1String(Option))) << Option;
  EXPECT_TRUE(Help.Out.contains(QLatin1String("default 9000")));
}

TEST(StationProgram, BadOptionsExitWithCode2)
{
  const struct
  {
    QStringList Args;
    const char* Message;
  } Cases[] = {
      {{"--port", "abc"}, "--port must be a number from 0 to 65535, not 'abc'"},
      {{"--port", "70000"}, "--port must be a number"},
      {{"--port"}, "option '--port' needs a value"},
      {{"--entries", "-1"}, "--entries must be a number"},
      {{"--roll", "0"}, "--roll must be a number of seconds from 1 to 86400, not '0'"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"9000"}, "unknown option '9000'"},
      {{"--cert", "cert.pem"}, "--cert and --key go together"},
      {{"--cert", "/nonexistent/c.pem", "--key", "/nonexistent/k.pem"}, "cannot read"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Args.join(' ').toStdString());
    const TRun Result = RunStation(Case.Args);
    EXPECT_EQ(Result.ExitCode, 2);
    EXPECT_TRUE(Result.Err.contains(QLatin1String(Case.Message))) << Result.Err.toStdString();
    EXPECT_TRUE(Result.Err.contains(QLatin1String("--help")));
  }
}

TEST(StationProgram, ServesUntilSigterm)
{
  QTemporaryDir Storage;
  QProcess Process;
  Process.start(CProgram, {"--port", "0", "--user", "presenter", "--password=s3cret!", "--entries",
                           "5", "--storage", Storage.path()});
  ASSERT_TRUE(Process.waitForStarted());

  // The start-up line names the address, also when the port was picked.
  QString Err;
  QRegularExpressionMatch Match;
  const QRegularExpression Serving(QStringLiteral("serving (http://127\\.0\\.0\\.1:(\\d+))/"));
  QDeadlineTimer Deadline(10000);
  while (!(Match = Serving.match(Err)).hasMatch() && !Deadline.hasExpired()) {
    Process.waitForReadyRead(100);
    Err += QString::fromLocal8Bit(Process.readAllStandardError());
  }
  ASSERT_TRUE(Match.hasMatch()) << Err.toStdString();
  EXPECT_TRUE(Err.contains(Storage.path()));

  const QString Base = Match.captured(1);
  const THttpReply Reply = Get(Base + "/?user=presenter&pass=s3cret%21&action=getplaylist2");
  ASSERT_EQ(Reply.Status, 200) << Reply.Error.toStdString();
  EXPECT_EQ(XmlElements(Reply.Body, "TRACK").size(), 5);
  EXPECT_EQ(Get(Base + "/?user=presenter&pass=demo&action=getplaylist2").Status, 403);

  ::kill(Process.processId(), SIGTERM);
  ASSERT_TRUE(Process.waitForFinished(10000));
  EXPECT_EQ(Process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Process.exitCode(), 0);
  Err += QString::fromLocal8Bit(Process.readAllStandardError());
  // One line per request, without the password.
  EXPECT_EQ(Err.count(QLatin1String("GET /?user=presenter&pass=***&action=getplaylist2")), 2)
      << Err.toStdString();
  EXPECT_TRUE(Err.contains(QLatin1String("-> 403")));
  EXPECT_FALSE(Err.contains(QLatin1String("s3cret")));
  EXPECT_TRUE(Err.contains(QLatin1String("stopping (SIGTERM)")));
}

TEST(StationProgram, RollingLogMovesOnEverySecond)
{
  QProcess Process;
  Process.start(CProgram, {"--port", "0", "--roll", "1", "--entries", "8"});
  ASSERT_TRUE(Process.waitForStarted());
  QString Err;
  QRegularExpressionMatch Match;
  const QRegularExpression Serving(QStringLiteral("serving (http://127\\.0\\.0\\.1:\\d+)/"));
  QDeadlineTimer Deadline(10000);
  while (!(Match = Serving.match(Err)).hasMatch() && !Deadline.hasExpired()) {
    Process.waitForReadyRead(100);
    Err += QString::fromLocal8Bit(Process.readAllStandardError());
  }
  ASSERT_TRUE(Match.hasMatch()) << Err.toStdString();
  const QString Url = Match.captured(1) + "/?user=demo&pass=demo&action=getplaylist2";
  const auto Titles = [&] {
    QStringList Result;
    for (const auto& Track : XmlElements(Get(Url).Body, "TRACK"))
      Result << Track.value(QStringLiteral("CASTTITLE"));
    return Result;
  };
  const QStringList First = Titles();
  ASSERT_EQ(First.size(), 8);
  // Songs last minutes; within a few seconds the log has rolled past its first entry.
  QStringList Now = First;
  QDeadlineTimer Rolled(8000);
  while (Now.contains(First[0]) && !Rolled.hasExpired()) {
    QThread::msleep(200);
    Now = Titles();
  }
  EXPECT_FALSE(Now.contains(First[0])) << Now.join(" | ").toStdString();
  EXPECT_EQ(Now.size(), 8);
  ::kill(Process.processId(), SIGTERM);
  ASSERT_TRUE(Process.waitForFinished(10000));
}

TEST(StationProgram, PortInUseIsReported)
{
  QProcess First;
  First.start(CProgram, {"--port", "0"});
  ASSERT_TRUE(First.waitForStarted());
  QString Err;
  QRegularExpressionMatch Match;
  const QRegularExpression Serving(QStringLiteral(":(\\d+)/ "));
  QDeadlineTimer Deadline(10000);
  while (!(Match = Serving.match(Err)).hasMatch() && !Deadline.hasExpired()) {
    First.waitForReadyRead(100);
    Err += QString::fromLocal8Bit(First.readAllStandardError());
  }
  ASSERT_TRUE(Match.hasMatch()) << Err.toStdString();
  const TRun Second = RunStation({"--port", Match.captured(1)});
  EXPECT_EQ(Second.ExitCode, 1);
  EXPECT_TRUE(Second.Err.contains("Cannot listen on 127.0.0.1 port " + Match.captured(1)))
      << Second.Err.toStdString();
  ::kill(First.processId(), SIGINT);
  ASSERT_TRUE(First.waitForFinished(10000));
  EXPECT_EQ(First.exitCode(), 0);
}

} // namespace
