// Settings files on disk: atomic saves, the backup protocol and the messages the records show.
#include "base/data_folders.h"
#include "settings/connection_settings.h"
#include "settings/player_ini.h"
#include "settings/settings_file.h"
#include "settings/system_ini.h"
#include "support/message_box_recorder.h"
#include "support/refusing_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace {

std::string Str(const QString& AText)
{
  return AText.toStdString();
}

// The system's text for an error, in the user's language as the program shows it.
std::string SystemText(int AErrno)
{
  return QString::fromLocal8Bit(std::strerror(AErrno)).toStdString();
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
                                             Str(Path("settings.ini")) + "\". " +
                                             SystemText(EISDIR) + ".");
  }
  {
    // A data folder below a file: the save fails and says why.
    WriteFile(Path("plain-file"), "x");
    UseFolder(FDir.path() + "/plain-file");
    TSettings Record;
    Record.Save();
    ASSERT_EQ(FBoxes.Calls.size(), 3);
    EXPECT_EQ(Str(FBoxes.Calls[2].Text), "Error saving settings: Cannot create file \"" +
                                             Str(Path("settings.ini")) + "\". " +
                                             SystemText(ENOTDIR) + ".");
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
            "Copy failed: " + Str(Path("player.ini.bak")) + " (" + SystemText(EISDIR) + ")");
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
  const std::string Expected = "Unable to load file " + Str(Path("player.ini")) + " (" +
                               SystemText(EISDIR) +
                               "). Failed to restore file from backup. Loading "
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
                                           Str(Path("system.ini")) + "\". " + SystemText(ENOSPC) +
                                           ".");
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

// A data folder that refuses new files while the files in it stay writable.
class SettingsRefusingFolderTest : public SettingsFileTest
{
protected:
  void SetUp() override
  {
    SettingsFileTest::SetUp();
    FRefusal = std::make_unique<TRefusingFolder>(FFolder);
  }

  void TearDown() override { FRefusal.reset(); }

  void Refuse()
  {
    std::string Why;
    ASSERT_TRUE(FRefusal->Refuse(Why)) << Why;
    std::printf("refusing new files by: %s\n", FRefusal->How());
  }

  std::unique_ptr<TRefusingFolder> FRefusal;
};

TEST_F(SettingsRefusingFolderTest, FilesAreWrittenInPlaceWithTheirBackups)
{
  TSystemIni System;
  System.SetBandsNum(8);
  System.Save();
  TSettings Connection;
  Connection.SetServer("before");
  Connection.Save();
  ASSERT_TRUE(QFile::setPermissions(Path("settings.ini"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
  Refuse();

  System.SetBandsNum(5);
  System.Save();
  Connection.SetServer("after");
  Connection.Save();
  EXPECT_TRUE(FBoxes.Calls.isEmpty()) << Str(FBoxes.Calls.value(0).Text);
  const QByteArray Saved = ReadFile(Path("system.ini"));
  EXPECT_TRUE(Saved.contains("BandsNum = 5")) << Saved.constData();
  EXPECT_EQ(ReadFile(Path("system.ini.bak")), Saved);
  EXPECT_TRUE(ReadFile(Path("settings.ini")).contains("Server = 'after'"));
  // The password file is still tightened where its owner saves it.
  EXPECT_EQ(QFile::permissions(Path("settings.ini")) & ~(QFile::ReadUser | QFile::WriteUser),
            QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(FolderEntries(), (QStringList{"settings.ini", "system.ini", "system.ini.bak"}));

  // A shorter text leaves nothing of the longer one behind.
  TSystemIni Fresh;
  Fresh.Read();
  EXPECT_EQ(Fresh.BandsNum(), 5);
  System.SetVSTSkipSettings(QString());
  System.SetStreamUserAgent(QString());
  System.Save();
  EXPECT_EQ(ReadFile(Path("system.ini")), WriteSettingsText(System));
}

TEST_F(SettingsRefusingFolderTest, NoWriteInPlaceWithoutAGoodBackup)
{
  TPlayerIni Player;
  Player.SetVoiceTracksFolder("/srv/old/");
  Player.Save();
  ASSERT_TRUE(QFile::remove(Path("player.ini.bak")));
  const QByteArray Before = ReadFile(Path("player.ini"));
  Refuse();

  // No backup can be made, so the only good copy is not overwritten.
  Player.SetVoiceTracksFolder("/srv/new/");
  Player.Save();
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_EQ(Str(FBoxes.Calls[0].Text),
            "Error saving file (player.ini): Cannot write file \"" + Str(Path("player.ini")) +
                "\" in place without its backup \"" + Str(Path("player.ini.bak")) + "\". " +
                SystemText(FRefusal->RefusalErrno()) + ".");
  EXPECT_EQ(ReadFile(Path("player.ini")), Before);

  // A damaged file has nothing worth keeping: it is replaced without a backup.
  WriteFile(Path("player.ini"), "object TPlayerIni\r\n  VoiceTracksFolder = '");
  FBoxes.Calls.clear();
  Player.Save();
  EXPECT_TRUE(ReadFile(Path("player.ini")).contains("'/srv/new/'"));
  // The backup copy that follows the save cannot be created either, and says so.
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_TRUE(FBoxes.Calls[0].Text.startsWith("Copy failed: " + Path("player.ini.bak")))
      << Str(FBoxes.Calls[0].Text);
}

TEST_F(SettingsRefusingFolderTest, NewFileIsStillRefusedWithTheFoldersReason)
{
  Refuse();
  TSystemIni System;
  System.Save();
  ASSERT_EQ(FBoxes.Calls.size(), 1);
  EXPECT_TRUE(FBoxes.Calls[0].Text.startsWith(
      "Error saving file (system.ini): Cannot create file \"" + Path("system.ini") + "\"."))
      << Str(FBoxes.Calls[0].Text);
  EXPECT_TRUE(FolderEntries().isEmpty());
}

} // namespace
