// The real program on a desktop that writes numbers with a decimal comma: the system settings
// it saves at exit must read back at the next start, unchanged, and never hold a comma.
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <clocale>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A station that takes connections and never answers: the program's first playlist request
// arriving here shows that its main window is up.
class TSilentStation
{
public:
  TSilentStation()
  {
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in Address = {};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Size = sizeof Address;
    if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&Address), Size) != 0 ||
        ::listen(FListen, 16) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&Address), &Size) != 0)
      return;
    FPort = ntohs(Address.sin_port);
  }
  ~TSilentStation()
  {
    for (int Fd : FAccepted)
      ::close(Fd);
    if (FListen >= 0)
      ::close(FListen);
  }

  int Port() const { return FPort; }

  bool WaitForConnection(int ATimeoutMs)
  {
    pollfd Poll = {FListen, POLLIN, 0};
    if (::poll(&Poll, 1, ATimeoutMs) != 1)
      return false;
    const int Fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (Fd < 0)
      return false;
    FAccepted.push_back(Fd);
    return true;
  }

private:
  int FListen = -1;
  int FPort = 0;
  std::vector<int> FAccepted;
};

class CommaLocaleProgram : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // Registered with LOCPATH and LC_ALL for the German locale; without it this test would
    // prove nothing.
    ASSERT_STREQ(std::localeconv()->decimal_point, ",")
        << "run this test under a decimal-comma locale (ctest does)";
    ASSERT_TRUE(FFolder.isValid());
    ASSERT_TRUE(FRuntime.isValid());
    QFile::setPermissions(FRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A portable program folder of its own: no uid.ini, so it is the data folder too.
    for (const QString& File :
         {QStringLiteral(VEXMO_PROGRAM), QStringLiteral(VEXMO_AUDIO_LIBRARY)}) {
      const QString Target = Path(QFileInfo(File).fileName());
      ASSERT_TRUE(QFile::copy(File, Target)) << File.toStdString();
      QFile::setPermissions(Target, QFile::permissions(File));
    }
  }

  QString Path(const QString& AName) const { return FFolder.filePath(AName); }

  void WriteFile(const QString& AName, const QByteArray& AText)
  {
    QFile File(Path(AName));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(File.write(AText), AText.size());
  }

  QByteArray ReadFile(const QString& AName) const
  {
    QFile File(Path(AName));
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  // Starts the program, waits until its window asks the station, and closes it as the desktop
  // does at log-out (SIGTERM), which saves system.ini. Returns what it wrote to stderr.
  QString RunOnce(TSilentStation& AStation)
  {
    QProcess Program;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.path());
    Program.setProcessEnvironment(Env);
    Program.setWorkingDirectory(FFolder.path());
    Program.start(Path(QStringLiteral("vexmo")), {});
    EXPECT_TRUE(Program.waitForStarted(10000));
    EXPECT_TRUE(AStation.WaitForConnection(30000)) << "the program's window never came up";
    ::kill(pid_t(Program.processId()), SIGTERM);
    EXPECT_TRUE(Program.waitForFinished(20000));
    EXPECT_EQ(Program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Program.exitCode(), 0);
    return QString::fromLocal8Bit(Program.readAllStandardError());
  }

  QTemporaryDir FFolder;
  QTemporaryDir FRuntime;
};

TEST_F(CommaLocaleProgram, SystemSettingsSurviveTwoStarts)
{
  TSilentStation Station;
  ASSERT_GT(Station.Port(), 0);
  WriteFile(QStringLiteral("settings.ini"), "object TSettings\r\n"
                                            "  Server = '127.0.0.1'\r\n"
                                            "  Port = " +
                                                QByteArray::number(Station.Port()) +
                                                "\r\n"
                                                "end\r\n");
  // Values unlike the defaults, so that a start that fell back to them shows.
  WriteFile(QStringLiteral("system.ini"), "object TSystemIni\r\n"
                                          "  AllowVstPlugins = True\r\n"
                                          "  VSTFolder.Strings = (\r\n"
                                          "    '/opt/vst/')\r\n"
                                          "  BandsNum = 7\r\n"
                                          "  Bandwidth = 1.750000000000000000\r\n"
                                          "  EQRange = 15\r\n"
                                          "  StreamUserAgent = 'Studio'\r\n"
                                          "end\r\n");
  const char* const Kept[] = {
      "  AllowVstPlugins = True\r\n", "    '/opt/vst/')\r\n",
      "  BandsNum = 7\r\n",           "  Bandwidth = 1.750000000000000000\r\n",
      "  EQRange = 15\r\n",           "  StreamUserAgent = 'Studio'\r\n",
  };

  for (int Start = 1; Start <= 2; ++Start) {
    SCOPED_TRACE(Start);
    const QString Errors = RunOnce(Station);
    EXPECT_FALSE(Errors.contains(QStringLiteral("damaged"))) << Errors.toStdString();
    const QByteArray Text = ReadFile(QStringLiteral("system.ini"));
    for (const char* Line : Kept)
      EXPECT_TRUE(Text.contains(Line)) << Line << "\n" << Text.constData();
    EXPECT_FALSE(Text.contains(',')) << Text.constData();
    EXPECT_EQ(ReadFile(QStringLiteral("system.ini.bak")), Text);
  }
}

} // namespace
