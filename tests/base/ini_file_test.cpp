#include "base/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/refusing_folder.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

mode_t ModeOf(const QString& AFileName)
{
  struct stat Info;
  return ::stat(QFile::encodeName(AFileName).constData(), &Info) == 0 ? Info.st_mode & 07777 : 0;
}

class IniFileTest : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_TRUE(FTemp.isValid()); }

  QString Path(const QString& AName = "test.ini") const { return FTemp.filePath(AName); }

  void WriteBytes(const QByteArray& ABytes, const QString& AName = "test.ini") const
  {
    QFile File(Path(AName));
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(ABytes);
  }

  QByteArray ReadBytes(const QString& AName = "test.ini") const
  {
    QFile File(Path(AName));
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
  }

  QTemporaryDir FTemp;
};

} // namespace

TEST_F(IniFileTest, ReadsCaseInsensitivelyTrimmedWithEmptySection)
{
  WriteBytes("orphan=before any section\n"
             "[]\n"
             "Left=10\n"
             "[ Setup ]\n"
             "  Language =  De  \n"
             "; Comment=not a key\n"
             "NoEquals line\n"
             "Path=C:\\a=b\n"
             "Empty=\n"
             "language=second occurrence\n"
             "[setup]\n"
             "Extra=from duplicate section\n"
             "Language=third\n");
  const TIniFile Ini(Path());
  struct TCase
  {
    const char* Section;
    const char* Key;
    const char* Expected;
  };
  for (const TCase& Case :
       {TCase{"", "left", "10"}, TCase{"SETUP", "LANGUAGE", "De"},
        TCase{"setup", "path", "C:\\a=b"}, TCase{"Setup", "Empty", ""},
        TCase{"Setup", "Extra", "from duplicate section"}, TCase{"Setup", "; Comment", "<default>"},
        TCase{"Setup", "NoEquals line", "<default>"}, TCase{"", "orphan", "<default>"},
        TCase{"Missing", "Left", "<default>"}, TCase{" Setup ", " Language ", "De"}})
    EXPECT_EQ(Ini.ReadString(Case.Section, Case.Key, "<default>"), Case.Expected)
        << Case.Section << "/" << Case.Key;

  EXPECT_EQ(Ini.ReadSections(), QStringList({"", "Setup"}));
  EXPECT_EQ(Ini.ReadSection("SETUP"), QStringList({"Language", "Path", "Empty", "Extra"}));
  EXPECT_TRUE(Ini.SectionExists(""));
  EXPECT_TRUE(Ini.SectionExists("sEtUp"));
  EXPECT_FALSE(Ini.SectionExists("Other"));
  EXPECT_TRUE(Ini.ValueExists("setup", "EMPTY"));
  EXPECT_FALSE(Ini.ValueExists("setup", "Absent"));
}

TEST_F(IniFileTest, MissingFileGivesDefaults)
{
  const TIniFile Ini(Path("absent.ini"));
  EXPECT_EQ(Ini.ReadString("Settings", "UID", "none"), "none");
  EXPECT_EQ(Ini.ReadInteger("Settings", "X", 7), 7);
  EXPECT_TRUE(Ini.ReadSections().isEmpty());
  EXPECT_TRUE(Ini.ReadSection("Settings").isEmpty());
  EXPECT_FALSE(Ini.SectionExists(""));
}

TEST_F(IniFileTest, ReadsIntegersAndBooleans)
{
  const std::pair<QByteArray, int> Integers[] = {
      {"42", 42},
      {"  -7 ", -7},
      {"+5", 5},
      {"0x1F", 31},
      {"0XfF", 255},
      {"$10", 16},
      {"-0x10", -16},
      {"0xFFFFFFFF", -1},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", -99},
      {"0x100000000", -99},
      {"12abc", -99},
      {"", -99},
      {"abc", -99},
      {"0x", -99},
      {"1 2", -99},
      {"99999999999999999999", -99},
  };
  QByteArray Text = "[N]\n";
  for (int Index = 0; Index < int(std::size(Integers)); ++Index)
    Text += "k" + QByteArray::number(Index) + "=" + Integers[Index].first + "\n";
  Text += "[B]\nOne=1\nZero=0\nTwo=-2\nWord=true\n";
  WriteBytes(Text);
  const TIniFile Ini(Path());
  for (int Index = 0; Index < int(std::size(Integers)); ++Index)
    EXPECT_EQ(Ini.ReadInteger("n", "k" + QString::number(Index), -99), Integers[Index].second)
        << Integers[Index].first.constData();

  EXPECT_TRUE(Ini.ReadBool("B", "One", false));
  EXPECT_FALSE(Ini.ReadBool("B", "Zero", true));
  EXPECT_TRUE(Ini.ReadBool("B", "Two", false));
  EXPECT_TRUE(Ini.ReadBool("B", "Word", true));
  EXPECT_FALSE(Ini.ReadBool("B", "Word", false));
  EXPECT_TRUE(Ini.ReadBool("B", "Missing", true));
}

TEST_F(IniFileTest, WritesKeepTheRestOfTheFileByteForByte)
{
  // Line ends, comments, spacing, a Latin-1 line and an unterminated last line must survive.
  WriteBytes("; written by hand\r\n"
             "[Equalizer]\r\n"
             "Settings = 0300\r\n"
             "Other=\xe9t\xe9\r\n"
             "\r\n"
             "; trailing comment of the section\r\n"
             "[Compressor]\r\n"
             "Last=1");
  TIniFile Ini(Path());
  EXPECT_TRUE(Ini.WriteString("EQUALIZER", "settings", "FEFF"));
  EXPECT_TRUE(Ini.WriteString("Equalizer", "Added", "x y"));
  EXPECT_TRUE(Ini.WriteInteger("", "Top", -3));
  EXPECT_TRUE(Ini.WriteBool("compressor", "On", true));
  EXPECT_EQ(ReadBytes(), QByteArray("; written by hand\r\n"
                                    "[Equalizer]\r\n"
                                    "Settings = FEFF\r\n"
                                    "Other=\xe9t\xe9\r\n"
                                    "Added=x y\r\n"
                                    "\r\n"
                                    "; trailing comment of the section\r\n"
                                    "[Compressor]\r\n"
                                    "Last=1\r\n"
                                    "On=1\r\n"
                                    "[]\r\n"
                                    "Top=-3\r\n"));
  EXPECT_EQ(Ini.ReadString("Equalizer", "Other"), QString::fromLatin1("\xe9t\xe9"));
  EXPECT_EQ(Ini.ReadInteger("", "top", 0), -3);
  EXPECT_TRUE(Ini.ReadBool("Compressor", "on", false));
  EXPECT_EQ(Ini.ReadSection("Equalizer"), QStringList({"Settings", "Other", "Added"}));
}

TEST_F(IniFileTest, WriteCreatesFileButNotFolder)
{
  TIniFile Ini(Path("new.ini"));
  const mode_t OldMask = umask(022);
  EXPECT_TRUE(Ini.WriteString("", "Left", "10"));
  umask(OldMask);
  EXPECT_TRUE(Ini.WriteString("", "Top", QString::fromUtf8("\u00e4\u4e2d")));
  EXPECT_EQ(ReadBytes("new.ini"), QByteArray("[]\nLeft=10\nTop=\xc3\xa4\xe4\xb8\xad\n"));
  EXPECT_EQ(Ini.LastError(), "");
  // A new file gets the usual mode, so other users of a shared data folder can read it; an
  // existing file keeps its own.
  EXPECT_EQ(ModeOf(Path("new.ini")), 0644);
  ASSERT_EQ(chmod(QFile::encodeName(Path("new.ini")).constData(), 0600), 0);
  EXPECT_TRUE(Ini.WriteString("", "Left", "11"));
  EXPECT_EQ(ModeOf(Path("new.ini")), 0600);

  TIniFile NoFolder(Path("missing/folder/x.ini"));
  EXPECT_FALSE(NoFolder.WriteString("S", "K", "V"));
  EXPECT_EQ(NoFolder.LastError(), QString::fromLocal8Bit(strerror(ENOENT)));
  EXPECT_FALSE(QDir(Path("missing")).exists());
}

TEST_F(IniFileTest, DeleteKeyAndEraseSectionRemoveEveryOccurrence)
{
  WriteBytes("[A]\nk=1\nK=2\nkeep=3\n[b]\nx=1\n; note\n[B]\ny=2\n[C]\nz=3\n");
  TIniFile Ini(Path());
  EXPECT_TRUE(Ini.DeleteKey("a", "K"));
  EXPECT_FALSE(Ini.ValueExists("A", "k"));
  EXPECT_TRUE(Ini.EraseSection("B"));
  EXPECT_EQ(ReadBytes(), QByteArray("[A]\nkeep=3\n[C]\nz=3\n"));
  // Nothing to remove is not a failure, and leaves the file alone.
  EXPECT_TRUE(Ini.DeleteKey("A", "absent"));
  EXPECT_TRUE(Ini.EraseSection("absent"));
  EXPECT_TRUE(TIniFile(Path("absent.ini")).DeleteKey("A", "k"));
  EXPECT_EQ(ReadBytes(), QByteArray("[A]\nkeep=3\n[C]\nz=3\n"));
  EXPECT_FALSE(QFile::exists(Path("absent.ini")));
}

TEST_F(IniFileTest, RefusesTextsThatWouldBreakTheFile)
{
  const QByteArray Original = "[S]\nK=1\n";
  WriteBytes(Original);
  TIniFile Ini(Path());
  EXPECT_FALSE(Ini.WriteString("S", "K", "1\n[Injected]\nX=2"));
  EXPECT_FALSE(Ini.WriteString("S", "A=B", "1"));
  EXPECT_FALSE(Ini.WriteString("S", "[X]", "1"));
  EXPECT_FALSE(Ini.WriteString("S", ";X", "1"));
  EXPECT_FALSE(Ini.WriteString("S", "", "1"));
  EXPECT_FALSE(Ini.WriteString("S\r\nT", "K", "1"));
  EXPECT_EQ(ReadBytes(), Original);
  // A "]" inside a section name reads back.
  EXPECT_TRUE(Ini.WriteString("a]b", "K", "2"));
  EXPECT_EQ(Ini.ReadString("A]B", "k"), "2");
}

TEST_F(IniFileTest, FailedWriteLeavesOldFileIntact)
{
  QByteArray Original = "[Big]\nKeep=old\n";
  WriteBytes(Original);
  TIniFile Ini(Path());
  // Limit the size of files this process may write, so the new file cannot be written whole.
  // Works for root too, who would pass any permission check.
  rlimit Old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
  rlimit Limited = Old;
  Limited.rlim_cur = 4096;
  auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Limited), 0);
  const bool Written = Ini.WriteString("Big", "Huge", QString(10000, QLatin1Char('x')));
  setrlimit(RLIMIT_FSIZE, &Old);
  std::signal(SIGXFSZ, OldHandler);

  EXPECT_FALSE(Written);
  EXPECT_EQ(Ini.LastError(), QString::fromLocal8Bit(strerror(EFBIG)));
  EXPECT_EQ(ReadBytes(), Original);
  EXPECT_EQ(QDir(FTemp.path()).entryList(QDir::Files), QStringList{"test.ini"});
  EXPECT_EQ(Ini.ReadString("Big", "Keep"), "old");
  EXPECT_FALSE(Ini.ValueExists("Big", "Huge"));
}

TEST_F(IniFileTest, FolderThatRefusesNewFilesIsWrittenInPlace)
{
  // windowpos.ini in a shared folder made read-only for its users, the file itself writable.
  WriteBytes("[Main]\nLeft=100\nComment=a longer line than the one that replaces it\n");
  ASSERT_TRUE(QFile::setPermissions(Path(), QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ReadGroup | QFile::WriteGroup));
  TRefusingFolder Refusal(FTemp.path());
  std::string Why;
  ASSERT_TRUE(Refusal.Refuse(Why)) << Why;
  std::printf("refusing new files by: %s\n", Refusal.How());

  TIniFile Ini(Path());
  EXPECT_TRUE(Ini.DeleteKey("Main", "Comment")) << Ini.LastError().toStdString();
  EXPECT_TRUE(Ini.WriteInteger("Main", "Left", 7));
  EXPECT_EQ(ReadBytes(), "[Main]\nLeft=7\n");
  EXPECT_EQ(ModeOf(Path()), mode_t(0660));
  EXPECT_EQ(QDir(FTemp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"test.ini"});

  // A file that is not there yet still cannot be made, and the reason says why.
  TIniFile Other(Path("other.ini"));
  EXPECT_FALSE(Other.WriteInteger("Main", "Left", 7));
  EXPECT_EQ(Other.LastError(), QString::fromLocal8Bit(strerror(Refusal.RefusalErrno())));
}

TEST_F(IniFileTest, ReadsByteOrderMarksAndKeepsEncoding)
{
  WriteBytes("\xEF\xBB\xBF[Strings]\ns31=Bist du sicher? \xC3\xA4\n", "bom8.ini");
  TIniFile Utf8(Path("bom8.ini"));
  EXPECT_EQ(Utf8.ReadString("strings", "S31"), QString::fromUtf8("Bist du sicher? \u00e4"));
  EXPECT_EQ(Utf8.ReadSections(), QStringList{"Strings"});
  EXPECT_TRUE(Utf8.WriteString("Strings", "s1", "x"));
  EXPECT_TRUE(ReadBytes("bom8.ini").startsWith("\xEF\xBB\xBF[Strings]\n"));

  const QString Text = QString::fromUtf8("[Strings]\r\ns31=\u00cates-vous s\u00fbr ?\r\n");
  QByteArray Utf16("\xFF\xFE");
  for (QChar Char : Text)
    Utf16 += char(Char.unicode() & 0xFF), Utf16 += char(Char.unicode() >> 8);
  WriteBytes(Utf16, "bom16.ini");
  TIniFile Wide(Path("bom16.ini"));
  EXPECT_EQ(Wide.ReadString("Strings", "s31"), QString::fromUtf8("\u00cates-vous s\u00fbr ?"));
  EXPECT_TRUE(Wide.WriteString("Strings", "s2", QString::fromUtf8("\u4e2d")));
  const QString Expected = Text + QString::fromUtf8("s2=\u4e2d\r\n");
  QByteArray ExpectedBytes("\xFF\xFE");
  for (QChar Char : Expected)
    ExpectedBytes += char(Char.unicode() & 0xFF), ExpectedBytes += char(Char.unicode() >> 8);
  EXPECT_EQ(ReadBytes("bom16.ini"), ExpectedBytes);
}

TEST_F(IniFileTest, SeesChangesMadeByOthers)
{
  WriteBytes("[S]\nK=1\n");
  const TIniFile Reader(Path());
  EXPECT_EQ(Reader.ReadString("S", "K"), "1");
  // Another instance writing, and an in-place rewrite of the same size right after.
  TIniFile Writer(Path());
  ASSERT_TRUE(Writer.WriteString("S", "K", "2"));
  EXPECT_EQ(Reader.ReadString("S", "K"), "2");
  WriteBytes("[S]\nK=3\n");
  EXPECT_EQ(Reader.ReadString("S", "K"), "3");
  QFile::remove(Path());
  EXPECT_EQ(Reader.ReadString("S", "K", "gone"), "gone");
}

TEST_F(IniFileTest, WritesThroughSymbolicLink)
{
  WriteBytes("[S]\nK=1\n", "real.ini");
  ASSERT_TRUE(QFile::link(Path("real.ini"), Path("link.ini")));
  TIniFile Ini(Path("link.ini"));
  EXPECT_TRUE(Ini.WriteString("S", "K", "2"));
  EXPECT_TRUE(QFileInfo(Path("link.ini")).isSymLink());
  EXPECT_EQ(ReadBytes("real.ini"), QByteArray("[S]\nK=2\n"));
}
