// The hand-over of a used take from the recorder to Vexmo over the local socket.
#include "app/take_handover.h"
#include "recorder/take_handover_client.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <utime.h>

namespace {

struct TOutcome
{
  bool Ok = false;
  QString Message;
};

std::optional<TOutcome> SendAndWait(TTakeHandoverClient& AClient, const QString& AFile)
{
  std::optional<TOutcome> Result;
  AClient.Send(AFile, [&](bool AOk, const QString& AMessage) { Result = TOutcome{AOk, AMessage}; });
  QTest::qWaitFor([&] { return Result.has_value(); }, 5000);
  return Result;
}

QString MakeFile(const QString& APath)
{
  QFile F(APath);
  F.open(QIODevice::WriteOnly);
  F.write("fLaC");
  return QFileInfo(APath).absoluteFilePath();
}

} // namespace

TEST(TakeHandover, TheFileReachesTheHandlerAndItsAnswerComesBack)
{
  QTemporaryDir Dir;
  const QString Socket = Dir.filePath(QStringLiteral("s"));
  QStringList Received;
  bool Succeed = true;
  TTakeHandoverServer Server([&](const QString& AFile, TTakeHandoverReply AReply) {
    Received << AFile;
    // The answer comes later, as an upload's does.
    QTimer::singleShot(50, [AReply, Succeed] {
      AReply(Succeed, Succeed ? QStringLiteral("") : QStringLiteral("HTTP 500\nInternal"));
    });
  });
  ASSERT_TRUE(Server.Listen(Socket));
  EXPECT_EQ(QFileInfo(Socket).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);

  const QString Take = MakeFile(Dir.filePath(QStringLiteral("VoiceTrack 1 ü.flac")));
  TTakeHandoverClient Client(Socket);
  auto R = SendAndWait(Client, Take);
  ASSERT_TRUE(R);
  EXPECT_TRUE(R->Ok) << R->Message.toStdString();
  EXPECT_EQ(Received, QStringList{Take});

  Succeed = false;
  R = SendAndWait(Client, Take);
  ASSERT_TRUE(R);
  EXPECT_FALSE(R->Ok);
  EXPECT_EQ(R->Message, QStringLiteral("HTTP 500 Internal")); // one line

  // What is not an existing FLAC file never reaches the handler.
  const QString Text = MakeFile(Dir.filePath(QStringLiteral("notes.txt")));
  for (const QString& Bad :
       {Text, Dir.filePath(QStringLiteral("missing.flac")), QStringLiteral("relative.flac")}) {
    R = SendAndWait(Client, Bad);
    ASSERT_TRUE(R);
    EXPECT_FALSE(R->Ok) << Bad.toStdString();
  }
  EXPECT_EQ(Received.size(), 2);
}

TEST(TakeHandover, NoVexmoIsSaidInWordsAndAStaleSocketIsReplaced)
{
  QTemporaryDir Dir;
  const QString Socket = Dir.filePath(QStringLiteral("s"));
  TTakeHandoverClient Client(Socket);
  auto R = SendAndWait(Client, MakeFile(Dir.filePath(QStringLiteral("a.flac"))));
  ASSERT_TRUE(R);
  EXPECT_FALSE(R->Ok);
  EXPECT_TRUE(R->Message.contains(QStringLiteral("Vexmo is not running")));

  // A file left where the socket goes, as by a Vexmo that crashed.
  MakeFile(Socket);
  TTakeHandoverServer Server([](const QString&, TTakeHandoverReply AReply) { AReply(true, {}); });
  EXPECT_TRUE(Server.Listen(Socket));
  // A second Vexmo of the same installation leaves the running one's socket alone.
  TTakeHandoverServer Second([](const QString&, TTakeHandoverReply AReply) { AReply(false, {}); });
  EXPECT_FALSE(Second.Listen(Socket));
  R = SendAndWait(Client, MakeFile(Dir.filePath(QStringLiteral("b.flac"))));
  ASSERT_TRUE(R);
  EXPECT_TRUE(R->Ok);
}

TEST(TakeHandover, SocketPathsAreThePerInstallationAndTheInsertDialogStartsAtTheNewestTake)
{
  QTemporaryDir Runtime;
  qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
  const QString A = TakeHandoverSocketPath(QStringLiteral("/data/a/"));
  EXPECT_TRUE(A.startsWith(Runtime.path() + QLatin1Char('/')));
  EXPECT_EQ(A, TakeHandoverSocketPath(QStringLiteral("/data/a")));
  EXPECT_NE(A, TakeHandoverSocketPath(QStringLiteral("/data/b/")));
  qunsetenv("XDG_RUNTIME_DIR");

  // Without a runtime folder: a private folder in the temporary one, never one that is a link
  // or belongs to someone else.
  QTemporaryDir Temp;
  qputenv("TMPDIR", Temp.path().toLocal8Bit());
  const QString Private = Temp.path() + QStringLiteral("/vexmo-%1").arg(::getuid());
  EXPECT_TRUE(TakeHandoverSocketPath(QStringLiteral("/data/a")).startsWith(Private + '/'));
  EXPECT_EQ(QFileInfo(Private).permissions() & 0x0077, 0);
  ASSERT_TRUE(QDir(Private).removeRecursively());
  QTemporaryDir Elsewhere;
  ASSERT_TRUE(QFile::link(Elsewhere.path(), Private));
  EXPECT_EQ(TakeHandoverSocketPath(QStringLiteral("/data/a")), QString());
  ASSERT_TRUE(QFile::remove(Private));
  ASSERT_TRUE(QDir().mkdir(Private));
  ::chmod(QFile::encodeName(Private).constData(), 0777);
  EXPECT_EQ(TakeHandoverSocketPath(QStringLiteral("/data/a")), QString());
  qunsetenv("TMPDIR");

  QTemporaryDir Dir;
  EXPECT_EQ(NewestVoiceTrack(Dir.path()), Dir.path());
  const QString Old = MakeFile(Dir.filePath(QStringLiteral("z-old.flac")));
  const QString New = MakeFile(Dir.filePath(QStringLiteral("a-new.flac")));
  MakeFile(Dir.filePath(QStringLiteral("newer.take.wav")));
  utimbuf Past{1000000000, 1000000000};
  ::utime(QFile::encodeName(Old).constData(), &Past);
  EXPECT_EQ(NewestVoiceTrack(Dir.path()), New);
}
