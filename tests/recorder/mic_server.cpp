#include "mic_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <numbers>
#include <unistd.h>

TMicServer::TMicServer()
{
  const QString Program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
  if (Program.isEmpty()) {
    FFailure = "pulseaudio is not installed";
    return;
  }
  FDir = std::make_unique<QTemporaryDir>();
  QFile::setPermissions(FDir->path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  FFifo = FDir->filePath(QStringLiteral("mic.fifo"));
  FProcess = std::make_unique<QProcess>();
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FDir->path());
  Env.remove(QStringLiteral("PULSE_SERVER"));
  FProcess->setProcessEnvironment(Env);
  FProcess->start(Program,
                  {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "-L",
                   "module-null-sink sink_name=phones", "-L",
                   QStringLiteral("module-pipe-source source_name=vmic file=%1 format=float32le "
                                  "rate=%2 channels=1 source_properties=device.description=VMic")
                       .arg(FFifo)
                       .arg(Rate),
                   "-L", "module-native-protocol-unix auth-anonymous=1"});
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

TMicServer::~TMicServer()
{
  StopFeeding();
  if (FProcess && FProcess->state() != QProcess::NotRunning) {
    FProcess->terminate();
    if (!FProcess->waitForFinished(5000)) {
      FProcess->kill();
      FProcess->waitForFinished();
    }
  }
}

void TMicServer::Feed(std::vector<float> ASamples)
{
  StopFeeding();
  FStop = false;
  FFeeder = std::thread([this, Samples = std::move(ASamples)] {
    const int Fd = ::open(QFile::encodeName(FFifo).constData(), O_WRONLY | O_CLOEXEC);
    if (Fd < 0)
      return;
    using namespace std::chrono;
    const size_t Block = Rate / 100;
    const std::vector<float> Silence(Block, 0.0f);
    auto Next = steady_clock::now();
    for (size_t At = 0; !FStop; At += Block) {
      const float* From = At < Samples.size() ? Samples.data() + At : Silence.data();
      const size_t N = At < Samples.size() ? std::min(Block, Samples.size() - At) : Block;
      if (::write(Fd, From, N * sizeof(float)) < 0)
        break;
      Next += microseconds(N * 1000000 / Rate);
      std::this_thread::sleep_until(Next);
    }
    ::close(Fd);
  });
}

void TMicServer::StopFeeding()
{
  FStop = true;
  if (FFeeder.joinable())
    FFeeder.join();
}

bool TMicServer::HasRecorder() const
{
  QProcess P;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("PULSE_SERVER"), QString::fromLocal8Bit(FAddress));
  P.setProcessEnvironment(Env);
  P.start(QStringLiteral("pactl"), {"list", "short", "source-outputs"});
  P.waitForFinished(5000);
  return !P.readAllStandardOutput().trimmed().isEmpty();
}

std::vector<float> Speech(const QString& AText, double ASilence)
{
  QTemporaryDir Dir;
  const QString Wav = Dir.filePath(QStringLiteral("s.wav"));
  const QString Raw = Dir.filePath(QStringLiteral("s.raw"));
  if (QProcess::execute(QStringLiteral("espeak-ng"), {"-w", Wav, AText}) != 0)
    return {};
  const QString Pad = QString::number(ASilence, 'f', 3);
  if (QProcess::execute(QStringLiteral("sox"),
                        {Wav, "-r", QString::number(TMicServer::Rate), "-e", "float", "-b", "32",
                         "-c", "1", "-t", "raw", Raw, "pad", Pad, Pad}) != 0)
    return {};
  QFile F(Raw);
  if (!F.open(QIODevice::ReadOnly))
    return {};
  const QByteArray Bytes = F.readAll();
  std::vector<float> Samples(size_t(Bytes.size()) / sizeof(float));
  std::memcpy(Samples.data(), Bytes.constData(), Samples.size() * sizeof(float));
  return Samples;
}

std::vector<float> Sine(double ASeconds, double APeakDb, double AFreq)
{
  std::vector<float> S(size_t(ASeconds * TMicServer::Rate));
  const double Amp = std::pow(10.0, APeakDb / 20.0);
  for (size_t I = 0; I < S.size(); ++I)
    S[I] = float(Amp * std::sin(2 * std::numbers::pi * AFreq * double(I) / TMicServer::Rate));
  return S;
}

std::pair<int64_t, int64_t> LoudRange(const std::vector<float>& ASamples, double AThresholdDb)
{
  const float T = float(std::pow(10.0, AThresholdDb / 20.0));
  int64_t First = -1, Last = -1;
  for (size_t I = 0; I < ASamples.size(); ++I)
    if (std::fabs(ASamples[I]) > T) {
      if (First < 0)
        First = int64_t(I);
      Last = int64_t(I) + 1;
    }
  return {First, Last};
}
