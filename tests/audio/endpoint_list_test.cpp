// The endpoint list against a private sound server started for these tests.
#include "basswasapi.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct TDevice
{
  std::string Name;
  std::string Id;
  DWORD Flags;
  DWORD Freq;
};

std::vector<TDevice> ListDevices()
{
  std::vector<TDevice> devices;
  BASS_WASAPI_DEVICEINFO info;
  for (DWORD i = 0; BASS_WASAPI_GetDeviceInfo(i, &info); ++i)
    devices.push_back({info.name, info.id, info.flags, info.mixfreq});
  return devices;
}

const TDevice* FindDevice(const std::vector<TDevice>& ADevices, const std::string& AId)
{
  for (const TDevice& device : ADevices)
    if (device.Id == AId)
      return &device;
  return nullptr;
}

// Points the library's sound server look-up at AServer for the lifetime of the object.
class TServerOverride
{
public:
  explicit TServerOverride(const QByteArray& AServer) : FOld(qgetenv("PULSE_SERVER"))
  {
    FHad = qEnvironmentVariableIsSet("PULSE_SERVER");
    qputenv("PULSE_SERVER", AServer);
  }
  ~TServerOverride()
  {
    if (FHad)
      qputenv("PULSE_SERVER", FOld);
    else
      qunsetenv("PULSE_SERVER");
  }

private:
  QByteArray FOld;
  bool FHad = false;
};

// A private PulseAudio server with one null sink and one null source.
class TEndpointListTest : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    const QString program = QStandardPaths::findExecutable("pulseaudio");
    if (program.isEmpty()) {
      FSkipReason = "pulseaudio is not installed, so no sound server can be started";
      return;
    }
    FDir = new QTemporaryDir;
    QFile::setPermissions(FDir->path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    FServer = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", FDir->path());
    env.remove("PULSE_SERVER");
    FServer->setProcessEnvironment(env);
    FServer->start(program, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false", "-L",
                             "module-null-sink", "-L", "module-null-source", "-L",
                             "module-native-protocol-unix auth-anonymous=1"});
    const QString socket = FDir->filePath("pulse/native");
    for (int i = 0; i < 100 && !QFileInfo::exists(socket); ++i) {
      if (FServer->state() == QProcess::NotRunning)
        break;
      QThread::msleep(100);
    }
    if (!QFileInfo::exists(socket)) {
      FServer->kill();
      FServer->waitForFinished();
      FSkipReason = "the private pulseaudio server did not start: " +
                    QString::fromLocal8Bit(FServer->readAllStandardError()).toStdString();
      return;
    }
    FAddress = ("unix:" + socket).toLocal8Bit();
  }

  static void TearDownTestSuite()
  {
    if (FServer) {
      // Stopped by its own process id, never by name.
      FServer->terminate();
      if (!FServer->waitForFinished(5000)) {
        FServer->kill();
        FServer->waitForFinished();
      }
    }
    delete FServer;
    FServer = nullptr;
    delete FDir;
    FDir = nullptr;
  }

  void SetUp() override
  {
    if (!FSkipReason.empty())
      GTEST_SKIP() << FSkipReason;
  }

  static inline QTemporaryDir* FDir = nullptr;
  static inline QProcess* FServer = nullptr;
  static inline QByteArray FAddress;
  static inline std::string FSkipReason;
};

TEST_F(TEndpointListTest, SourceIsAnEnabledInputAndSinkMonitorIsLoopback)
{
  TServerOverride server(FAddress);
  const std::vector<TDevice> devices = ListDevices();

  const TDevice* source = FindDevice(devices, "source.null");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->Flags & (BASS_DEVICE_INPUT | BASS_DEVICE_ENABLED | BASS_DEVICE_LOOPBACK),
            static_cast<DWORD>(BASS_DEVICE_INPUT | BASS_DEVICE_ENABLED));
  EXPECT_FALSE(source->Name.empty());
  EXPECT_GT(source->Freq, 0u);

  const TDevice* monitor = FindDevice(devices, "null.monitor");
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(monitor->Flags & (BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK),
            static_cast<DWORD>(BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK));
  EXPECT_TRUE(monitor->Flags & BASS_DEVICE_ENABLED);

  const TDevice* sink = FindDevice(devices, "null");
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(sink->Flags & (BASS_DEVICE_INPUT | BASS_DEVICE_LOOPBACK), 0u);

  // What the settings dialog keeps: enabled inputs that are not loopback.
  int capture = 0;
  for (const TDevice& device : devices)
    if ((device.Flags & BASS_DEVICE_INPUT) && (device.Flags & BASS_DEVICE_ENABLED) &&
        !(device.Flags & BASS_DEVICE_LOOPBACK))
      ++capture;
  EXPECT_EQ(capture, 1);
}

TEST_F(TEndpointListTest, TextsOutliveLaterEnumerations)
{
  TServerOverride server(FAddress);
  BASS_WASAPI_DEVICEINFO first{};
  ASSERT_TRUE(BASS_WASAPI_GetDeviceInfo(0, &first));
  const std::string name = first.name;
  const std::string id = first.id;
  ListDevices();
  ListDevices();
  EXPECT_EQ(name, first.name);
  EXPECT_EQ(id, first.id);

  BASS_WASAPI_DEVICEINFO past{};
  EXPECT_FALSE(BASS_WASAPI_GetDeviceInfo(1000, &past));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
}

TEST(TEndpointListNoServerTest, ListIsEmptyAndQuiet)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TServerOverride server(("unix:" + dir.filePath("no-server/native")).toLocal8Bit());

  // Catch anything written to the standard error while listing.
  std::fflush(stderr);
  const QString capturePath = dir.filePath("stderr.txt");
  FILE* capture = std::fopen(capturePath.toLocal8Bit().constData(), "w");
  ASSERT_NE(capture, nullptr);
  const int saved = dup(fileno(stderr));
  dup2(fileno(capture), fileno(stderr));
  const std::vector<TDevice> devices = ListDevices();
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::fclose(capture);

  EXPECT_TRUE(devices.empty());
  EXPECT_EQ(QFileInfo(capturePath).size(), 0);
}

} // namespace
