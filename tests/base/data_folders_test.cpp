#include "base/data_folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

// Sets environment variables for one test and puts the old values and the folders back after.
class DataFoldersTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(FTemp.isValid());
    FSavedProgramFolder = ProgramFolder();
    for (const char* Name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "HOME"})
      FSavedEnv.append({Name, qEnvironmentVariableIsSet(Name)
                                  ? std::optional<QByteArray>(qgetenv(Name))
                                  : std::nullopt});
    Root = FTemp.path() + "/";
    ProgramDir = Root + "prog/";
    ASSERT_TRUE(QDir().mkpath(ProgramDir));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Root + "user-config"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(Root + "system-config:" + Root + "other"));
    qputenv("HOME", QFile::encodeName(Root + "home"));
  }

  void TearDown() override
  {
    for (const auto& [Name, Value] : FSavedEnv) {
      if (Value)
        qputenv(Name, *Value);
      else
        qunsetenv(Name);
    }
    InitProgramFolder(FSavedProgramFolder);
    InitDataFolder();
  }

  void WriteUidIni(const QByteArray& AText)
  {
    QFile File(ProgramDir + "uid.ini");
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write(AText);
  }

  void Run()
  {
    InitProgramFolder(ProgramDir);
    InitDataFolder();
  }

  QString Root;
  QString ProgramDir;

private:
  QTemporaryDir FTemp;
  QString FSavedProgramFolder;
  QList<std::pair<const char*, std::optional<QByteArray>>> FSavedEnv;
};

} // namespace

TEST_F(DataFoldersTest, UidIniChoosesTheFolder)
{
  struct TCase
  {
    const char* UidIni; // nullptr: no uid.ini
    const char* UID;
    const char* DataFolder; // under the test's root; empty: the program folder
  };
  const TCase Cases[] = {
      {nullptr, "", ""},
      {"[Settings]\nAllusers=A\n", "", ""},
      {"[Settings]\nUID=\n", "", ""},
      {"[Other]\nUID=7F3A\n", "", ""},
      {"[Settings]\nUID=7F3A\n", "7F3A", "user-config/Korvane/Vexmo_7F3A/"},
      {"[Settings]\nUID=7F3A\nAllusers=a\n", "7F3A", "user-config/Korvane/Vexmo_7F3A/"},
      {"[Settings]\nUID=7F3A\nAllusers=All\n", "7F3A", "user-config/Korvane/Vexmo_7F3A/"},
      {"[Settings]\nUID=7F3A\nAllusers=A\n", "7F3A", "system-config/Korvane/Vexmo_7F3A/"},
      {"[settings]\n uid = B2 \nALLUSERS = A\n", "B2", "system-config/Korvane/Vexmo_B2/"},
      {"[Settings]\nUID=../../x\n", ".._.._x", "user-config/Korvane/Vexmo_.._.._x/"},
  };
  for (const TCase& Case : Cases) {
    QFile::remove(ProgramDir + "uid.ini");
    if (Case.UidIni)
      WriteUidIni(Case.UidIni);
    Run();
    const QString Expected =
        *Case.DataFolder ? Root + QString::fromUtf8(Case.DataFolder) : ProgramDir;
    const char* Label = Case.UidIni ? Case.UidIni : "(no uid.ini)";
    EXPECT_EQ(InstallUID(), Case.UID) << Label;
    EXPECT_EQ(DataFolder(), Expected) << Label;
    EXPECT_TRUE(QFileInfo(Expected).isDir()) << Label;
  }
  // A portable install creates nothing outside its own folder.
  QDir().rmpath(Root + "user-config/Korvane/Vexmo_7F3A");
  QFile::remove(ProgramDir + "uid.ini");
  Run();
  EXPECT_FALSE(QFileInfo::exists(Root + "user-config/Korvane/Vexmo_7F3A"));
}

TEST_F(DataFoldersTest, ConfigFolderFallbacks)
{
  WriteUidIni("[Settings]\nUID=U1\n");

  qunsetenv("XDG_CONFIG_HOME");
  Run();
  EXPECT_EQ(DataFolder(), Root + "home/.config/Korvane/Vexmo_U1/");
  EXPECT_TRUE(QFileInfo(DataFolder()).isDir());

  // A relative XDG_CONFIG_HOME is not a valid setting and is ignored.
  qputenv("XDG_CONFIG_HOME", "relative/config");
  Run();
  EXPECT_EQ(DataFolder(), Root + "home/.config/Korvane/Vexmo_U1/");

  // Nobody can name the per-user folder: the program folder.
  qunsetenv("XDG_CONFIG_HOME");
  qunsetenv("HOME");
  Run();
  EXPECT_EQ(DataFolder(), ProgramDir);
  EXPECT_EQ(InstallUID(), "U1");

  // All users: the first absolute folder of XDG_CONFIG_DIRS.
  WriteUidIni("[Settings]\nUID=U1\nAllusers=A\n");
  qputenv("XDG_CONFIG_DIRS", QFile::encodeName("relative::" + Root + "second/"));
  Run();
  EXPECT_EQ(DataFolder(), Root + "second/Korvane/Vexmo_U1/");
}

TEST_F(DataFoldersTest, FolderThatCannotBeCreatedIsNotReported)
{
  WriteUidIni("[Settings]\nUID=U1\n");
  QFile Blocker(Root + "blocker");
  ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
  Blocker.close();
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(Root + "blocker/config"));
  Run();
  EXPECT_EQ(DataFolder(), Root + "blocker/config/Korvane/Vexmo_U1/");
  EXPECT_FALSE(QFileInfo::exists(DataFolder()));
}

TEST_F(DataFoldersTest, ProgramFolderResolvesLinksAndEndsInSlash)
{
  ASSERT_TRUE(QFile::link(ProgramDir, Root + "link"));
  InitProgramFolder(Root + "link");
  EXPECT_EQ(ProgramFolder(), QFileInfo(ProgramDir).canonicalFilePath() + "/");

  InitProgramFolder(Root + "not/there/");
  EXPECT_EQ(ProgramFolder(), Root + "not/there/");

  InitProgramFolder();
  EXPECT_EQ(ProgramFolder(),
            QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath() + "/");
}

TEST_F(DataFoldersTest, ExpandDataPath)
{
  InitProgramFolder("/srv/vexmo data");
  InitDataFolder(); // no uid.ini there: the program folder
  ASSERT_EQ(DataFolder(), "/srv/vexmo data/");
  const std::pair<QString, QString> Cases[] = {
      {"\\VoiceTracks\\", "/srv/vexmo data/VoiceTracks"},
      {"\\VoiceTracks", "/srv/vexmo data/VoiceTracks"},
      {"\\VT\\Sub\\", "/srv/vexmo data/VT/Sub"},
      {"\\x", "/srv/vexmo data/x"},
      {"\\\\nas\\vt\\", "\\\\nas\\vt"},
      {"/mnt/vt/", "/mnt/vt"},
      {"/mnt/vt", "/mnt/vt"},
      {"relative/", "relative"},
      {"C:\\VT\\", "C:\\VT"},
      {"/", "/"},
      {"\\", "\\"},
      {"", ""},
  };
  for (const auto& [Input, Expected] : Cases)
    EXPECT_EQ(ExpandDataPath(Input), Expected) << qPrintable(Input);
}
