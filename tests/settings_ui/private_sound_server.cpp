#include "private_sound_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

TPrivateSoundServer::TPrivateSoundServer(TSources ASources)
{
  const QString Program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
  if (Program.isEmpty()) {
    FFailure = "pulseaudio is not installed, so no sound server can be started";
    return;
  }
  FDir = std::make_unique<QTemporaryDir>();
  if (!FDir->isValid()) {
    FFailure = "no temporary folder for the sound server's runtime files";
    return;
  }
  // The server refuses a runtime folder that others may enter.
  QFile::setPermissions(FDir->path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  FProcess = std::make_unique<QProcess>();
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FDir->path());
  Env.remove(QStringLiteral("PULSE_SERVER"));
  FProcess->setProcessEnvironment(Env);
  QStringList Arguments = {"-n", "--daemonize=no",  "--exit-idle-time=-1", "--system=false",
                           "-L", "module-null-sink"};
  if (ASources == WithSources)
    Arguments << "-L"
              << "module-null-source"
              << "-L"
              << "module-null-source source_name=mic_a description=Studio"
              << "-L"
              << "module-null-source source_name=mic_b description=Studio";
  Arguments << "-L"
            << "module-native-protocol-unix auth-anonymous=1";
  FProcess->start(Program, Arguments);
  const QString Socket = FDir->filePath(QStringLiteral("pulse/native"));
  for (int I = 0; I < 100 && !QFileInfo::exists(Socket); ++I) {
    if (FProcess->state() == QProcess::NotRunning)
      break;
    QThread::msleep(100);
  }
  if (!QFileInfo::exists(Socket)) {
    FProcess->kill();
    FProcess->waitForFinished();
    FFailure = "the private pulseaudio server did not start: " +
               QString::fromLocal8Bit(FProcess->readAllStandardError()).toStdString();
    return;
  }
  FAddress = ("unix:" + Socket).toLocal8Bit();
}

TPrivateSoundServer::~TPrivateSoundServer()
{
  if (FProcess && FProcess->state() != QProcess::NotRunning) {
    // QProcess signals its own child by process id.
    FProcess->terminate();
    if (!FProcess->waitForFinished(5000)) {
      FProcess->kill();
      FProcess->waitForFinished();
    }
  }
}

TSoundServerOverride::TSoundServerOverride(const QByteArray& AAddress)
    : FOld(qgetenv("PULSE_SERVER")), FHad(qEnvironmentVariableIsSet("PULSE_SERVER"))
{
  qputenv("PULSE_SERVER", AAddress);
}

TSoundServerOverride::~TSoundServerOverride()
{
  if (FHad)
    qputenv("PULSE_SERVER", FOld);
  else
    qunsetenv("PULSE_SERVER");
}

QByteArray NoSoundServerAddress(const QString& AFolder)
{
  return ("unix:" + QDir(AFolder).filePath(QStringLiteral("no-server/native"))).toLocal8Bit();
}
