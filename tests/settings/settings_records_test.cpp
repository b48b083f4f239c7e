// The settings records themselves: constructor values, the language folder choice, the input
// list, device markers and the connection settings' lock.
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

class SettingsRecordsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FDir.isValid());
    InitProgramFolder(FDir.path());
    InitDataFolder();
  }

  QString Path(const QString& AName) const { return ProgramFolder() + AName; }

  void WriteFile(const QString& AName, const QByteArray& AData)
  {
    QFile File(Path(AName));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(AData);
  }

  QByteArray ReadFile(const QString& AName)
  {
    QFile File(Path(AName));
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
  }

  QTemporaryDir FDir;
  TMessageBoxRecorder FBoxes;
};

TEST_F(SettingsRecordsTest, ConstructorValues)
{
  TSettings Connection;
  EXPECT_TRUE(Connection.Server().isEmpty());
  EXPECT_FALSE(Connection.TLS());
  EXPECT_EQ(Connection.Port(), 0);
  EXPECT_EQ(Connection.PlaylistCols().Count(), 0);
  EXPECT_EQ(Connection.Tag(), 0);

  TPlayerIni Player;
  EXPECT_EQ(Str(Player.VoiceTracksFolder()), "\\VoiceTracks\\");
  EXPECT_EQ(Player.MicDSPList().Count(), 0);

  TSystemIni System;
  EXPECT_FALSE(System.AllowWinampPlugins());
  EXPECT_FALSE(System.AllowVstPlugins());
  EXPECT_EQ(System.VSTFolder(), QStringList{"/usr/lib/vst/"});
  EXPECT_EQ(System.BandsNum(), 10);
  EXPECT_EQ(System.EQRange(), 10);
  EXPECT_EQ(System.Bandwidth(), 2.5f);
  ASSERT_EQ(System.EQBands().Count(), 12);
  EXPECT_EQ(System.EQBands().Items(0)->CenterFreq(), 31);
  EXPECT_EQ(System.EQBands().Items(11)->CenterFreq(), 20000);
  EXPECT_EQ(Str(System.StreamUserAgent()), "Airlume");
  ASSERT_EQ(System.Inputs().Count(), 4);
  EXPECT_EQ(System.Inputs().Items(0)->Method(), -2);
  EXPECT_TRUE(System.Inputs().Items(0)->KeepAlive());
  EXPECT_FALSE(System.Inputs().Items(0)->Stereo());
  for (int I = 1; I < 4; ++I) {
    EXPECT_EQ(System.Inputs().Items(I)->Method(), -1);
    EXPECT_TRUE(System.Inputs().Items(I)->Stereo());
    EXPECT_FALSE(System.Inputs().Items(I)->KeepAlive());
    EXPECT_EQ(System.Inputs().Items(I)->DevType(), odMixer);
  }

  TDSPItemC Stage;
  EXPECT_EQ(Stage.State(), psOff);
  EXPECT_TRUE(Stage.Params().isEmpty());
  EXPECT_EQ(Stage.H, 0u);
}

TEST_F(SettingsRecordsTest, FirstStartWritesFourInputsAndTheResolvedLanguage)
{
  ASSERT_TRUE(QDir(ProgramFolder()).mkpath("Lang/De"));
  WriteFile("setup.ini", "[Setup]\nLanguage=De\n");
  TSystemIni Record;
  Record.Read();
  EXPECT_EQ(Record.Inputs().Items(0)->Method(), -2);
  EXPECT_TRUE(Record.Inputs().Items(0)->DeviceID().isEmpty());
  Record.Save();

  const QByteArray Text = ReadFile("system.ini");
  EXPECT_TRUE(Text.contains("  LangDir = 'De'\r\n"));
  EXPECT_EQ(Text.count("    item\r\n      DevType"), 4);

  // Later starts no longer ask setup.ini.
  WriteFile("setup.ini", "[Setup]\nLanguage=En\n");
  TSystemIni Later;
  Later.Read();
  EXPECT_EQ(Str(Later.LangDir()), "De");
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(SettingsRecordsTest, LanguageFolderChoice)
{
  ASSERT_TRUE(QDir(ProgramFolder()).mkpath("Lang/De"));
  ASSERT_TRUE(QDir(ProgramFolder()).mkpath("Lang/Fr"));
  WriteFile("outside", "");
  const struct
  {
    const char* SetupIni; // nullptr: no setup.ini
    const char* Expected;
  } Cases[] = {
      {nullptr, "En"},
      {"[Setup]\nLanguage=De\n", "De"},
      {"[setup]\nLANGUAGE=Fr\n", "Fr"},
      {"[Setup]\nLanguage=de\n", "De"}, // the folder's own spelling
      {"[Setup]\nLanguage=FR\n", "Fr"},
      {"[Setup]\nLanguage=Pl\n", "En"}, // no such folder
      {"[Setup]\nLanguage=\n", "En"},
      {"[Setup]\nLanguage=../Lang/De\n", "En"}, // only a folder inside Lang/
      {"[Setup]\nLanguage=..\n", "En"},
      {"[Other]\nLanguage=De\n", "En"},
  };
  for (const auto& Case : Cases) {
    QFile::remove(Path("setup.ini"));
    if (Case.SetupIni)
      WriteFile("setup.ini", Case.SetupIni);
    TSystemIni Record;
    EXPECT_EQ(Str(Record.LangDir()), Case.Expected) << (Case.SetupIni ? Case.SetupIni : "none");
  }

  // A stored choice stands as it is.
  WriteFile("setup.ini", "[Setup]\nLanguage=De\n");
  TSystemIni Record;
  Record.SetLangDir("Fr");
  EXPECT_EQ(Str(Record.LangDir()), "Fr");
}

TEST_F(SettingsRecordsTest, InputsAreFilledUpToFour)
{
  WriteFile("system.ini", "object TSystemIni\r\n"
                          "  Inputs = <\r\n"
                          "    item\r\n"
                          "      DevType = odMixer\r\n"
                          "      Method = 1\r\n"
                          "      DeviceID = 'alsa_input.usb'\r\n"
                          "      MixerSrc = 0\r\n"
                          "      Stereo = False\r\n"
                          "      KeepAlive = True\r\n"
                          "    end>\r\n"
                          "end\r\n");
  TSystemIni Record;
  Record.Read();
  ASSERT_EQ(Record.Inputs().Count(), 4);
  EXPECT_EQ(Record.Inputs().Items(0)->Method(), 1);
  EXPECT_EQ(Str(Record.Inputs().Items(0)->DeviceID()), "alsa_input.usb");
  for (int I = 1; I < 4; ++I) {
    // Plain descriptors, not the constructor's stereo entries.
    EXPECT_EQ(Record.Inputs().Items(I)->Method(), -1);
    EXPECT_FALSE(Record.Inputs().Items(I)->Stereo());
  }

  WriteFile("system.ini", "object TSystemIni\r\n  Inputs = <>\r\nend\r\n");
  TSystemIni Kept;
  Kept.Read();
  ASSERT_EQ(Kept.Inputs().Count(), 4);
  EXPECT_EQ(Kept.Inputs().Items(0)->Method(), -2);
  EXPECT_TRUE(Kept.Inputs().Items(1)->Stereo());
}

TEST_F(SettingsRecordsTest, DefaultDeviceMarker)
{
  TInputDevice Device;
  EXPECT_FALSE(Device.IsDefault());
  Device.SetDeviceID(":default");
  EXPECT_TRUE(Device.IsDefault());
  Device.SetIsDefault(false);
  EXPECT_TRUE(Device.DeviceID().isEmpty());
  Device.SetDeviceID("usb");
  Device.SetIsDefault(false);
  EXPECT_EQ(Str(Device.DeviceID()), "usb");
  Device.SetIsDefault(true);
  EXPECT_EQ(Str(Device.DeviceID()), ":default");
}

TEST_F(SettingsRecordsTest, CollectionsOwnAndReorderTheirItems)
{
  TDSPItemsC Chain;
  for (const char* Name : {"a", "b", "c"})
    Chain.Add()->SetDispName(Name);
  Chain.Move(0, 2);
  EXPECT_EQ(Str(Chain.Items(0)->DispName()), "b");
  EXPECT_EQ(Str(Chain.Items(2)->DispName()), "a");
  EXPECT_EQ(Chain.Items(2)->Index(), 2);
  Chain.Delete(1);
  ASSERT_EQ(Chain.Count(), 2);
  EXPECT_EQ(Str(Chain.Items(1)->DispName()), "a");
  Chain.Delete(5); // out of range: nothing
  EXPECT_EQ(Chain.Count(), 2);
  EXPECT_EQ(Chain.Items(2), nullptr);
}

TEST_F(SettingsRecordsTest, ConnectionLockIsReentrantAndKeepsOtherThreadsOut)
{
  TSettings Record;
  Record.Lock();
  Record.Lock();         // the same thread again
  Record.SetServer("a"); // the accessors take it too
  std::atomic<bool> Stored{false};
  std::thread Worker([&] {
    Record.SetServer("b");
    Stored = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(Stored.load());
  EXPECT_EQ(Str(Record.Server()), "a");
  Record.Unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(Stored.load()); // still held once
  Record.Unlock();
  Worker.join();
  EXPECT_TRUE(Stored.load());
  EXPECT_EQ(Str(Record.Server()), "b");
}

} // namespace
