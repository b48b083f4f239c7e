// Settings files on disk: atomic saves, the backup protocol and the messages the records show.
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/settings_file.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

QByteArray ReadFile(const QString& AFileName)
{
  QFile File(AFileName);
  if (!File.open(QIODevice::ReadOnly))
    return "<missing>";
  return File.readAll();
}

void WriteFile(const QString& AFileName, const QByteArray& AData)
{
  QFile File(AFileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(File.write(AData), AData.size());
}

const QByteArray GoodPlayerIni = "object TPlayerIni\r\n"
                                 "  VoiceTracksFolder = '/srv/vt/'\r\n"
                                 "  MicDSPList = <\r\n"
                                 "    item\r\n"
                                 "      T = dspIntegrated\r\n"
                                 "      DispName = 'Gain'\r\n"
                                 "      IntDSPKind = dspGain\r\n"
                                 "    end>\r\n"
                                 "end\r\n";

// The program folder, and with it the data folder, is a fresh temporary folder.
class SettingsFileTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FDir.isValid());
    UseFolder(FDir.path());
  }

  void UseFolder(const QString& AFolder)
  {
    InitProgramFolder(AFolder);
    InitDataFolder();
    FFolder = DataFolder();
  }

  QString Path(const QString& AName) const { return FFolder + AName; }

  QStringList FolderEntries() const
  {
    return QDir(FFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                   QDir::Name);
  }

  QTemporaryDir FDir;
  QString FFolder;
  TMessageBoxRecorder FBoxes;
};

TEST_F(SettingsFileTest, SaveAndLoadThroughFilesLeavesNoTemporaryFiles)
{
  TSettings Record;
  Record.SetServer("studio.example");
  Record.SetPort(8443);
  Record.SetTLS(true);
  Record.SetPass("it's");
  Record.Save();
  Record.SetPort(1);
  Record.Save(); // replaces the file
  EXPECT_EQ(FolderEntries(), QStringList{"settings.ini"});

  TSettings Back;
  Back.Read();
  EXPECT_EQ(Str(Back.Server()), "studio.example");
  EXPECT_EQ(Back.Port(), 1);
  EXPECT_TRUE(Back.TLS());
  EXPECT_EQ(Str(Back.Pass()), "it's");
  EXPECT_TRUE(ReadFile(Path("settings.ini")).contains("  Pass = 'it'#39's'\r\n"));
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(SettingsFileTest, ConnectionSettingsFileIsPrivate)
{
  const QFile::Permissions Private = QFile::ReadOwner | QFile::WriteOwner;
  TSettings Record;
  Record.SetPass("secret");
  Record.Save();
  EXPECT_EQ(QFile::permissions(Path("settings.ini")) & ~(QFile::ReadUser | QFile::WriteUser),
            Private);

  // A file left readable by others is tightened on the next save.
  ASSERT_TRUE(
      QFile::setPermissions(Path("settings.ini"), Private | QFile::ReadGroup | QFile::ReadOther));
  Record.Save();
  EXPECT_EQ(QFile::permissions(Path("settings.ini")) & ~(QFile::ReadUser | QFile::WriteUser),
            Private);

  // Other settings files keep the permissions the user gave them.
  TSystemIni System;
  System.Save();
  const QFile::Permissions Chosen = Private | QFile::ReadGroup;
  ASSERT_TRUE(QFile::setPermissions(Path("system.ini"), Chosen));
  System.Save();
  EXPECT_EQ(QFile::permissions(Path("system.ini")) & ~(QFile::ReadUser | QFile::WriteUser), Chosen);
}

TEST_F(SettingsFileTest, ConnectionSettingsReadAndSaveFailuresAreShown)
{
  {
    // No file: nothing happens.
    TSettings Record;
    Record.Read();
    EXPECT_TRUE(FBoxes.Calls.isEmpty());
    EXPECT_EQ(Record.Port(), 0);
  }
  {
    // A file cut off in the middle of a line: message with the parse error, nothing changed.
    WriteFile(Path("settings.ini"), "object TSettings\r\n  Server = 'host'\r\n  Port = 80\r\n  Us");
    TSettings Record;
    Record.Read();
    ASSERT_EQ(FBoxes.Calls.size(), 1);
    EXPECT_EQ(Str(FBoxes.Calls[0].Text), "Error loading settings: '=' expected on line 4.");
    EXPECT_EQ(Str(FBoxes.Calls[0].Caption), "Error");
    EXPECT_EQ(FBoxes.Calls[0].Flags, MB_ICONERROR);
    EXPECT_TRUE(Record.Server().isEmpty());
    EXPECT_EQ(Record.Port(), 0);
  }
  {
    // A settings.ini that cannot be opened.
    ASSERT_TRUE(QFile::remove(Path("settings.ini")));
    ASSERT_TRUE(QDir(FFolder).mkdir("settings.ini"));
    TSettings Record;
    Record.Read();
    ASSERT_EQ(FBoxes.Calls.size(), 2);
    EXPECT_EQ(Str(FBoxes.Calls[1].Text), "Error loading settings: Cannot open file \"" +
                                             Str(Path("settings.ini")) + "\". Is a directory.");
  }
  {
    // A data folder below a file: the save fails and says why.
    WriteFile(Path("plain-file"), "x");
    UseFolder(FDir.path() + "/plain-file");
    TSettings Record;
    Record.Save();
    ASSERT_EQ(FBoxes.Calls.size(), 3);
    EXPECT_EQ(Str(FBoxes.Calls[2].Text), "Error saving settings: Cannot create file \"" +
                                             Str(Path("settings.ini")) + "\". Not a directory.");
    EXPECT_EQ(Str(FBoxes.Calls[2].Caption), "Error");
    EXPECT_EQ(FBoxes.Calls[2].Flags, MB_ICONERROR);
  }
}

TEST_F(SettingsFileTest, ClearedConnectionValuesDisappearFromTheFile)
{
  TSettings Record;
  Record.SetUser("anna");
  Record.Save();
  EXPECT_TRUE(ReadFile(Path("settings.ini")).contains("User = 'anna'"));
  Record.SetUser("");
  Record.Save();
  const QByteArray Text = ReadFile(Path("settings.ini"));
  EXPECT_FALSE(Text.contains("User"));
  EXPECT_FALSE(Text.contains("Server"));
  EXPECT_FALSE(Text.contains("Pass"));
  TSettings Back;
  Back.SetUser("constructor");
  Back.Read();
  EXPECT_EQ(Str(Back.User()), "constructor");
}

TEST_F(SettingsFileTest, SaveMakesAnIdenticalBackup)
{
  TPlayerIni Record;
  Record.SetVoiceTracksFolder("/srv/vt/");
  Record.Save();
  EXPECT_EQ(FolderEntries(), (QStringList{"player.ini", "player.ini.bak"}));
  EXPECT_EQ(ReadFile(Path("player.ini")), ReadFile(Path("player.ini.bak")));
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(SettingsFileTest, FailedBackupCopyIsShownAndTheSaveStands)
{
  ASSERT_TRUE(QDir(FFolder).mkdir("player.ini.bak"));
  TPlayerIni Record;
  Record.SetVoiceTracksFolder("/srv/vt/");
  Record.Save();
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(Str(FBoxes.Calls[0].Text),
            "Copy failed: " + Str(Path("player.ini.bak")) + " (Is a directory)");
  EXPECT_EQ(Str(FBoxes.Calls[0].Caption), "");
  EXPECT_EQ(FBoxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_TRUE(ReadFile(Path("player.ini")).contains("'/srv/vt/'"));
}

TEST_F(SettingsFileTest, MissingOrEmptyFileIsRestoredFromTheBackup)
{
  for (bool Empty : {true, false}) {
    if (Empty)
      WriteFile(Path("player.ini"), "");
    else
      QFile::remove(Path("player.ini"));
    WriteFile(Path("player.ini.bak"), GoodPlayerIni);
    TPlayerIni Record;
    Record.Read();
    EXPECT_EQ(Str(Record.VoiceTracksFolder()), "/srv/vt/");
    ASSERT_EQ(Record.MicDSPList().Count(), 1);
    EXPECT_EQ(Record.MicDSPList().Items(0)->IntDSPKind(), dspGain);
    EXPECT_EQ(ReadFile(Path("player.ini")), GoodPlayerIni);
  }
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(SettingsFileTest, DamagedFileIsReadFromItsBackupAndLeftAlone)
{
  const QByteArray Damaged = "object TPlayerIni\r\n  VoiceTracksFolder = '/new/vt/'\r\n  MicDSPL";
  WriteFile(Path("player.ini"), Damaged);
  WriteFile(Path("player.ini.bak"), GoodPlayerIni);

  TPlayerIni Record;
  Record.Read();
  EXPECT_EQ(Str(Record.VoiceTracksFolder()), "/srv/vt/");
  EXPECT_EQ(Record.MicDSPList().Count(), 1);
  // Untouched until the next save, which then repairs both.
  EXPECT_EQ(ReadFile(Path("player.ini")), Damaged);
  EXPECT_EQ(ReadFile(Path("player.ini.bak")), GoodPlayerIni);
  EXPECT_TRUE(FBoxes.Calls.isEmpty());

  Record.Save();
  const QByteArray Saved = ReadFile(Path("player.ini"));
  EXPECT_TRUE(Saved.contains("  VoiceTracksFolder = '/srv/vt/'\r\n"));
  EXPECT_TRUE(Saved.contains("      IntDSPKind = dspGain\r\n"));
  EXPECT_EQ(ReadFile(Path("player.ini.bak")), Saved);
}

TEST_F(SettingsFileTest, DamagedFileWithoutUsableBackupGivesConstructorValues)
{
  WriteFile(Path("system.ini"), "object TSystemIni\r\n  BandsNum = 7\r\n  EQRange = ");
  TSystemIni Record;
  Record.Read();
  EXPECT_EQ(Record.BandsNum(), 10);

  WriteFile(Path("system.ini.bak"), "object TSystemIni\r\n  BandsNum = 6\r\n");
  Record.Read();
  EXPECT_EQ(Record.BandsNum(), 10);
  EXPECT_EQ(Record.Inputs().Count(), 4);
  EXPECT_TRUE(FBoxes.Calls.isEmpty());
}

TEST_F(SettingsFileTest, FailedRestoreIsShownOrReturned)
{
  ASSERT_TRUE(QDir(FFolder).mkdir("player.ini"));
  WriteFile(Path("player.ini.bak"), GoodPlayerIni);
  const std::string Expected = "Unable to load file " + Str(Path("player.ini")) +
                               " (Is a directory). Failed to restore file from backup. Loading "
                               "default settings.";

  const TSettingsError Error = RestoreSettingsFile(Path("player.ini"), true);
  EXPECT_EQ(Error.Kind, TSettingsError::Stream);
  EXPECT_EQ(Str(Error.Message), Expected);
  EXPECT_TRUE(FBoxes.Calls.isEmpty());

  TPlayerIni Record;
  Record.Read();
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(Str(FBoxes.Calls[0].Text), Expected);
  EXPECT_EQ(Str(FBoxes.Calls[0].Caption), "Error");
  EXPECT_EQ(FBoxes.Calls[0].Flags, MB_ICONERROR);
  // The good backup is still read.
  EXPECT_EQ(Str(Record.VoiceTracksFolder()), "/srv/vt/");
}

TEST_F(SettingsFileTest, FileTooLargeToBeSettingsIsNotRead)
{
  QFile File(Path("settings.ini"));
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  ASSERT_TRUE(File.resize(65 * 1024 * 1024)); // sparse
  File.close();
  TSettings Record;
  const TSettingsError Error = LoadSettingsFile(Record, Path("settings.ini"));
  EXPECT_EQ(Error.Kind, TSettingsError::Stream);
  EXPECT_TRUE(Error.Message.startsWith("Cannot open file")) << Str(Error.Message);
}

// A save that runs out of space half-way, on a small file system of its own.
class SettingsFullDiskTest : public SettingsFileTest
{
protected:
  void SetUp() override
  {
    SettingsFileTest::SetUp();
    FMount = FDir.path() + "/small";
    ASSERT_TRUE(QDir().mkdir(FMount));
    if (::mount("tmpfs", QFile::encodeName(FMount).constData(), "tmpfs", 0, "size=64k") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    FMounted = true;
    UseFolder(FMount);
  }

  void TearDown() override
  {
    if (FMounted)
      ::umount(QFile::encodeName(FMount).constData());
  }

  QString FMount;
  bool FMounted = false;
};

TEST_F(SettingsFullDiskTest, FailedSaveLeavesFileAndBackupIntact)
{
  TSystemIni Record;
  Record.SetBandsNum(8);
  Record.Save();
  const QByteArray Saved = ReadFile(Path("system.ini"));
  ASSERT_TRUE(Saved.contains("BandsNum = 8"));
  ASSERT_EQ(ReadFile(Path("system.ini.bak")), Saved);

  // Far more than the file system holds: the write fails after the first pages.
  Record.SetVSTSkipSettings(QString(300 * 1024, QLatin1Char('x')));
  Record.SetBandsNum(3);
  Record.Save();
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(Str(FBoxes.Calls[0].Text), "Error saving file (system.ini): Cannot write file \"" +
                                           Str(Path("system.ini")) +
                                           "\". No space left on device.");
  EXPECT_EQ(Str(FBoxes.Calls[0].Caption), "Error");
  EXPECT_EQ(FBoxes.Calls[0].Flags, MB_ICONERROR);
  EXPECT_EQ(ReadFile(Path("system.ini")), Saved);
  EXPECT_EQ(ReadFile(Path("system.ini.bak")), Saved);
  EXPECT_EQ(FolderEntries(), (QStringList{"system.ini", "system.ini.bak"}));

  // The connection settings (no backup) keep their previous file as well.
  TSettings Connection;
  Connection.SetServer("kept");
  Connection.Save();
  const QByteArray Before = ReadFile(Path("settings.ini"));
  Connection.SetPass(QString(300 * 1024, QLatin1Char('p')));
  Connection.Save();
  ASSERT_EQ(FBoxes.Calls.size(), 2);
  EXPECT_TRUE(FBoxes.Calls[1].Text.startsWith("Error saving settings: Cannot write file"));
  EXPECT_EQ(ReadFile(Path("settings.ini")), Before);
}

} // namespace
