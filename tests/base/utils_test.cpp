#include "base/utils.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

QString SystemText(int AError)
{
  return QString::fromLocal8Bit(strerror(AError));
}

void WriteScript(const QString& AFileName, const QByteArray& ABody)
{
  QFile File(AFileName);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write("#!/bin/sh\n" + ABody);
  File.close();
  File.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Reads the file once it holds a complete line (written by a process running on its own).
QString WaitForLine(const QString& AFileName)
{
  QDeadlineTimer Deadline(10000);
  while (!Deadline.hasExpired()) {
    QFile File(AFileName);
    if (File.open(QIODevice::ReadOnly)) {
      const QByteArray Bytes = File.readAll();
      if (Bytes.endsWith('\n'))
        return QString::fromUtf8(Bytes.chopped(1));
    }
    QThread::msleep(20);
  }
  return QStringLiteral("<timed out>");
}

} // namespace

TEST(RunCommandLineTest, BlankCommandLineStartsNothingAndKeepsError)
{
  for (const QString& Blank :
       {QString(), QString("   "), QString("\t\r\n "), QString::fromLatin1(" \x01\x1f ")}) {
    QString Error = "earlier error";
    qint64 ProcessId = 1234;
    RunCommandLine(Blank, &ProcessId, Error);
    EXPECT_EQ(Error, "earlier error") << qPrintable(Blank);
    EXPECT_EQ(ProcessId, 1234);
  }
}

TEST(RunCommandLineTest, FailureGivesSystemDescription)
{
  QTemporaryDir Temp;
  ASSERT_TRUE(Temp.isValid());
  const QString NotExecutable = Temp.filePath("plain.txt");
  QFile(NotExecutable).open(QIODevice::WriteOnly);
  struct TCase
  {
    QString CommandLine;
    int Error;
  };
  for (const TCase& Case :
       {TCase{"/nonexistent/folder/quillon -vexmo", ENOENT},
        TCase{"vexmo_no_such_program_anywhere --flag", ENOENT}, TCase{"\"\"", ENOENT},
        TCase{NotExecutable, EACCES}, TCase{Temp.path(), EACCES}}) {
    QString Error = "earlier error";
    qint64 ProcessId = 99;
    RunCommandLine(Case.CommandLine, &ProcessId, Error);
    EXPECT_EQ(Error, SystemText(Case.Error)) << qPrintable(Case.CommandLine);
    EXPECT_EQ(ProcessId, 0);
  }
}

TEST(RunCommandLineTest, StartsProgramWithArgumentsWithoutWaiting)
{
  QTemporaryDir Temp;
  ASSERT_TRUE(Temp.isValid());
  ASSERT_TRUE(QDir(Temp.path()).mkdir("folder with blanks"));
  const QString Script = Temp.filePath("folder with blanks/recorder");
  const QString Output = Temp.filePath("out.txt");
  // Sleeps before writing so that a call that waited for the program would be seen.
  WriteScript(Script, "sleep 0.3\necho \"$# $1 $2\" > \"$(dirname \"$0\")/../out.txt\"\n");

  QString Error = "earlier error";
  qint64 ProcessId = 0;
  RunCommandLine("  \"" + Script + "\" -vexmo \"two words\"\n", &ProcessId, Error);
  EXPECT_EQ(Error, "");
  EXPECT_GT(ProcessId, 0);
  EXPECT_FALSE(QFile::exists(Output));
  EXPECT_EQ(WaitForLine(Output), "2 -vexmo two words");

  // Without a place for the process id, from PATH.
  const QString Output2 = Temp.filePath("out2.txt");
  RunCommandLine("sh -c \"echo started > " + Output2 + "\"", nullptr, Error);
  EXPECT_EQ(Error, "");
  EXPECT_EQ(WaitForLine(Output2), "started");
}

TEST(FolderActionsTest, OpenFolderUsesHandlerOrXdgOpen)
{
  QTemporaryDir Temp;
  ASSERT_TRUE(Temp.isValid());
  const QString Output = Temp.filePath("opened.txt");
  WriteScript(Temp.filePath("xdg-open"), "echo \"$1\" > \"" + Output.toUtf8() + "\"\n");
  const QByteArray OldPath = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(Temp.path()) + ":" + OldPath);
  const bool Started = OpenFolderInFileManager("/srv/plug ins/");
  qputenv("PATH", OldPath);
  EXPECT_TRUE(Started);
  EXPECT_EQ(WaitForLine(Output), "/srv/plug ins/");

  QStringList Opened;
  TOpenFolderHandler Previous = SetOpenFolderHandler([&Opened](const QString& AFolder) {
    Opened.append(AFolder);
    return false;
  });
  EXPECT_FALSE(OpenFolderInFileManager("/usr/lib/vst/"));
  EXPECT_EQ(Opened, QStringList{"/usr/lib/vst/"});
  EXPECT_TRUE(SetOpenFolderHandler(Previous));
}

TEST(FolderActionsTest, CreateFolderMakesParentsAndReportsFailure)
{
  QTemporaryDir Temp;
  ASSERT_TRUE(Temp.isValid());
  const QString Deep = Temp.filePath("a/b/c/");
  EXPECT_TRUE(CreateFolderElevated(Deep));
  EXPECT_TRUE(QFileInfo(Deep).isDir());
  EXPECT_TRUE(CreateFolderElevated(Deep)); // already there

  QFile(Temp.filePath("file")).open(QIODevice::WriteOnly);
  EXPECT_FALSE(CreateFolderElevated(Temp.filePath("file/sub")));
  EXPECT_FALSE(CreateFolderElevated(""));
}

TEST(TextHelpersTest, StripFileNameChars)
{
  const std::pair<QString, QString> Cases[] = {
      {"a/b:c", "abc"},
      {"x?y/z:w", "xyzw"},
      {"\"*/:<>?\\|", ""},
      {"My preset (1) & co.", "My preset (1) & co."},
      {QString::fromUtf8("\u0141\u00f3d\u017a/\u6771\u4eac?"),
       QString::fromUtf8("\u0141\u00f3d\u017a\u6771\u4eac")},
      {"", ""},
  };
  for (const auto& [Input, Expected] : Cases)
    EXPECT_EQ(StripFileNameChars(Input), Expected) << qPrintable(Input);
}

TEST(TextHelpersTest, IsUrlAndFileDisplayName)
{
  for (const char* Url : {"http://x/y.mp3", "HTTPS://host/a.flac", "ftp://f/g.txt", "Mms://s/t"})
    EXPECT_TRUE(IsUrl(Url)) << Url;
  for (const char* NotUrl : {"", "http:/x", "file:///tmp/a", "/srv/http://x", "httpx://y"})
    EXPECT_FALSE(IsUrl(NotUrl)) << NotUrl;

  struct TCase
  {
    QString Path;
    bool KeepFolder;
    QString Expected;
  };
  const TCase Cases[] = {
      {"/data/Presets/Equalizer/Rock.eqp", false, "Rock"},
      {"/data/Presets/Equalizer/Rock.eqp", true, "/data/Presets/Equalizer/Rock"},
      {"C:\\Presets\\Live.v2.cmp", false, "Live.v2"},
      {"C:\\Presets\\Live.v2.cmp", true, "C:\\Presets\\Live.v2"},
      {"/data/folder.d/noext", false, "noext"},
      {"/data/folder.d/noext", true, "/data/folder.d/noext"},
      {"/data/x/.eqp", false, ""},
      {"plain.txt", false, "plain"},
      {"https://host/stream.mp3", false, "https://host/stream.mp3"},
      {"https://host/stream.mp3", true, "https://host/stream.mp3"},
      {"", false, ""},
  };
  for (const TCase& Case : Cases)
    EXPECT_EQ(FileDisplayName(Case.Path, Case.KeepFolder), Case.Expected)
        << qPrintable(Case.Path) << " " << Case.KeepFolder;
}

TEST(TextHelpersTest, StripAmpersands)
{
  EXPECT_EQ(StripAmpersands("&Rock && Roll&"), "Rock  Roll");
  EXPECT_EQ(StripAmpersands("plain"), "plain");
}

TEST(TickCountTest, AdvancesWithTime)
{
  const qint64 First = TickCount64();
  QThread::msleep(60);
  const qint64 Second = TickCount64();
  EXPECT_GT(First, 0);
  EXPECT_GE(Second - First, 60);
}
