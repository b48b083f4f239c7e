// A private PulseAudio server for one test program: its own runtime folder, a socket that only
// this program's PULSE_SERVER points at, modules loaded at start and later with pactl. Stopped by
// its own process id.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <string>

namespace vexmo::audio::test {

class TPrivatePulse
{
public:
  // AModules: "-L" arguments, e.g. "module-sine-source source_name=vmic frequency=1000".
  explicit TPrivatePulse(QStringList AModules) : FModules(std::move(AModules)) {}
  ~TPrivatePulse() { Stop(); }

  // Starts the server; false with SkipReason() when none can start here.
  bool Start()
  {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
    if (program.isEmpty()) {
      FSkipReason = "pulseaudio is not installed, so no sound server can be started";
      return false;
    }
    if (!FDir) {
      FDir = std::make_unique<QTemporaryDir>();
      QFile::setPermissions(FDir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    }
    FServer = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FDir->path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    FServer->setProcessEnvironment(env);
    QStringList args = {"-n",
                        "--daemonize=no",
                        "--exit-idle-time=-1",
                        "--system=false",
                        "--disallow-exit",
                        "-L",
                        "module-native-protocol-unix auth-anonymous=1"};
    for (const QString& module : FModules)
      args << "-L" << module;
    FServer->start(program, args);
    const QString socket = FDir->filePath(QStringLiteral("pulse/native"));
    QFile::remove(socket);
    FAddress = ("unix:" + socket).toLocal8Bit();
    for (int i = 0; i < 100; ++i) {
      if (FServer->state() == QProcess::NotRunning)
        break;
      if (QFileInfo::exists(socket) && Pactl({"info"}))
        return true;
      QThread::msleep(100);
    }
    FSkipReason = "the private pulseaudio server did not start: " +
                  QString::fromLocal8Bit(FServer->readAllStandardError()).toStdString();
    Stop();
    return false;
  }

  // Ends the server (as a crash or a restart would look to clients).
  void Stop()
  {
    if (!FServer)
      return;
    FServer->terminate();
    if (!FServer->waitForFinished(5000)) {
      FServer->kill();
      FServer->waitForFinished();
    }
    FServer.reset();
  }

  // Runs pactl against this server; AOutput gets its standard output.
  bool Pactl(const QStringList& AArgs, QByteArray* AOutput = nullptr) const
  {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                QStringList{"-s", QString::fromLocal8Bit(FAddress)} + AArgs);
    if (!pactl.waitForFinished(5000))
      return false;
    if (AOutput)
      *AOutput = pactl.readAllStandardOutput().trimmed();
    return pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
  }

  // The module's index, or -1.
  int LoadModule(const QString& AName, const QStringList& AArgs) const
  {
    QByteArray index;
    if (!Pactl(QStringList{"load-module", AName} + AArgs, &index))
      return -1;
    return index.toInt();
  }

  QByteArray Address() const { return FAddress; }
  QString Dir() const { return FDir ? FDir->path() : QString(); }
  const std::string& SkipReason() const { return FSkipReason; }

private:
  QStringList FModules;
  std::unique_ptr<QTemporaryDir> FDir;
  std::unique_ptr<QProcess> FServer;
  QByteArray FAddress;
  std::string FSkipReason;
};

} // namespace vexmo::audio::test
