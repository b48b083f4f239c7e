// The real program's placement under a real window manager, which frames the window and gives
// it a title bar: it opens exactly where it was closed, start after start, also after the window
// manager moved it, and a stored size too large for the screen does not push the title bar off
// it. ctest runs these on a private Xvfb with openbox (with_window_manager.sh); elsewhere they
// are skipped.
#include "app_fixture.h"
#include "base/ini_file.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <ostream>

// Readable rectangles in failure messages.
void PrintTo(const QRect& ARect, std::ostream* AOut)
{
  *AOut << ARect.width() << "x" << ARect.height() << "+" << ARect.x() << "+" << ARect.y();
}

namespace {

// What the X server says about a top-level window: its client area on the root window and the
// frame the window manager put around it.
struct TXWindow
{
  QRect Client;
  QMargins Frame;
  QRect FrameRect() const { return Client.marginsAdded(Frame); }
};

QString RunTool(const QString& AProgram, const QStringList& AArguments)
{
  QProcess Tool;
  Tool.start(AProgram, AArguments);
  if (!Tool.waitForFinished(10000))
    return {};
  return QString::fromLocal8Bit(Tool.readAllStandardOutput());
}

int Number(const QString& AText, const QString& APattern)
{
  const QRegularExpressionMatch Match = QRegularExpression(APattern).match(AText);
  return Match.hasMatch() ? Match.captured(1).toInt() : -1;
}

bool ReadXWindow(const QString& AId, TXWindow& AWindow)
{
  const QString Info = RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), AId});
  const QString Extents = RunTool(
      QStringLiteral("xprop"), {QStringLiteral("-id"), AId, QStringLiteral("_NET_FRAME_EXTENTS")});
  const QRegularExpressionMatch Frame =
      QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)")).match(Extents);
  if (!Frame.hasMatch() || !Info.contains(QLatin1String("IsViewable")))
    return false;
  AWindow.Client = QRect(Number(Info, QStringLiteral("Absolute upper-left X:\\s+(-?\\d+)")),
                         Number(Info, QStringLiteral("Absolute upper-left Y:\\s+(-?\\d+)")),
                         Number(Info, QStringLiteral("Width:\\s+(\\d+)")),
                         Number(Info, QStringLiteral("Height:\\s+(\\d+)")));
  AWindow.Frame = QMargins(Frame.captured(1).toInt(), Frame.captured(3).toInt(),
                           Frame.captured(2).toInt(), Frame.captured(4).toInt());
  return true;
}

class TWindowManagerPlacement : public TAppFixture
{
protected:
  void SetUp() override
  {
    if (qEnvironmentVariableIsEmpty("VEXMO_WINDOW_MANAGER"))
      GTEST_SKIP() << "needs an X server with a window manager (ctest runs it under openbox)";
    TAppFixture::SetUp();
    // A copy of the program in the test's folder, which is its program and data folder.
    for (const QString& File :
         {QStringLiteral(VEXMO_PROGRAM), QStringLiteral(VEXMO_AUDIO_LIBRARY)}) {
      const QString Target = Folder() + QFileInfo(File).fileName();
      ASSERT_TRUE(QFile::copy(File, Target));
      QFile::setPermissions(Target, QFile::permissions(File));
    }
    ASSERT_TRUE(FRuntime.isValid());
    QFile::setPermissions(FRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  void TearDown() override
  {
    if (FProgram.state() != QProcess::NotRunning) {
      FProgram.kill();
      FProgram.waitForFinished();
    }
    if (!IsSkipped())
      TAppFixture::TearDown();
  }

  // Starts the program and waits until its window is mapped, framed and no longer moving.
  void Start()
  {
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.path());
    FProgram.setProcessEnvironment(Env);
    FProgram.setWorkingDirectory(Folder());
    FProgram.start(Folder() + QStringLiteral("vexmo"), {});
    ASSERT_TRUE(FProgram.waitForStarted(10000));
    FWindowId.clear();
    ASSERT_TRUE(WaitFor(
        [this] {
          FWindowId = RunTool(QStringLiteral("xdotool"),
                              {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                               QStringLiteral("--pid"), QString::number(FProgram.processId()),
                               QStringLiteral("--name"), QStringLiteral("^Vexmo$")})
                          .section(QLatin1Char('\n'), 0, 0)
                          .trimmed();
          return !FWindowId.isEmpty();
        },
        20000))
        << FProgram.readAllStandardError().constData();
    ASSERT_TRUE(Settle());
  }

  // Waits until the window stood still for a moment; FNow holds where.
  bool Settle()
  {
    TXWindow Last;
    QElapsedTimer Still;
    Still.start();
    return WaitFor([&] {
      TXWindow Now;
      if (!ReadXWindow(FWindowId, Now)) {
        Still.restart();
        return false;
      }
      if (Now.Client != Last.Client || Now.Frame != Last.Frame) {
        Last = Now;
        Still.restart();
      }
      FNow = Now;
      return Still.elapsed() >= 500;
    });
  }

  // Ends the program as the session does; it saves its placement on the way out.
  void Stop()
  {
    ::kill(pid_t(FProgram.processId()), SIGTERM);
    ASSERT_TRUE(FProgram.waitForFinished(10000));
    EXPECT_EQ(FProgram.exitCode(), 0);
  }

  QRect Stored(int* AMaximised = nullptr) const
  {
    const TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
    if (AMaximised)
      *AMaximised = Ini.ReadInteger(QString(), QStringLiteral("S"), -1);
    return {Ini.ReadInteger(QString(), QStringLiteral("X"), -1),
            Ini.ReadInteger(QString(), QStringLiteral("Y"), -1),
            Ini.ReadInteger(QString(), QStringLiteral("W"), -1),
            Ini.ReadInteger(QString(), QStringLiteral("H"), -1)};
  }

  void Store(const QRect& APlacement)
  {
    TIniFile Ini(Folder() + QStringLiteral("windowpos.ini"));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("X"), APlacement.x()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("Y"), APlacement.y()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("W"), APlacement.width()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("H"), APlacement.height()));
    ASSERT_TRUE(Ini.WriteInteger(QString(), QStringLiteral("S"), 0));
  }

  QRect Screen() const
  {
    const QString Info = RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
    return {0, 0, Number(Info, QStringLiteral("Width:\\s+(\\d+)")),
            Number(Info, QStringLiteral("Height:\\s+(\\d+)"))};
  }

  QTemporaryDir FRuntime;
  QProcess FProgram;
  QString FWindowId;
  TXWindow FNow;
};

TEST_F(TWindowManagerPlacement, TheProgramOpensWhereItWasClosedStartAfterStart)
{
  const QRect Placement(130, 110, 600, 400);
  Store(Placement);
  for (int Pass = 1; Pass <= 3; ++Pass) {
    SCOPED_TRACE(Pass);
    Start();
    // A real frame with a title bar above the client area.
    EXPECT_GT(FNow.Frame.top(), 0);
    EXPECT_EQ(FNow.Client, Placement);
    Stop();
    EXPECT_EQ(Stored(), Placement);
  }

  // Moved by the window manager, as the user drags the title bar: it opens there next time.
  Start();
  ASSERT_FALSE(RunTool(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), FWindowId,
                                                   QStringLiteral("210"), QStringLiteral("160")})
                   .contains(QLatin1String("error")));
  ASSERT_TRUE(Settle());
  const QRect Moved = FNow.Client;
  ASSERT_NE(Moved.topLeft(), Placement.topLeft());
  Stop();
  EXPECT_EQ(Stored(), Moved);
  Start();
  EXPECT_EQ(FNow.Client, Moved);
  Stop();
}

TEST_F(TWindowManagerPlacement, TheFirstStartIsPlacedWhollyOnTheScreen)
{
  Start();
  EXPECT_TRUE(Screen().contains(FNow.FrameRect())) << ::testing::PrintToString(FNow.FrameRect());
  Stop();
  EXPECT_EQ(Stored(), FNow.Client);
}

TEST_F(TWindowManagerPlacement, AStoredSizeLargerThanTheScreenIsFittedIntoIt)
{
  const QRect Area = Screen();
  ASSERT_GT(Area.width(), 0);
  Store({40, 30, Area.width() * 2, Area.height() * 3});
  Start();
  // The whole frame, title bar included, is on the screen.
  const QRect Frame = FNow.FrameRect();
  EXPECT_TRUE(Area.contains(Frame))
      << Frame.x() << "," << Frame.y() << " " << Frame.width() << "x" << Frame.height();
  Stop();
  // What is saved is what was shown, so the next start opens the same way.
  EXPECT_EQ(Stored(), FNow.Client);
}

} // namespace
