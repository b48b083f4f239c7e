// The exact bytes the client sends, caught by a bare socket server.
#include "api/upload_form.h"
#include "api_test_support.h"
#include "capture_server.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// Header names, sorted. Requests carry Host and curl's Accept, the upload also the form's type
// and length; nothing else (no user agent, no compression, no "Expect").
QList<QByteArray> HeaderNames(const TCapturedRequest& ARequest)
{
  QList<QByteArray> Names;
  for (const auto& Header : ARequest.Headers)
    Names.append(Header.first.toLower());
  std::sort(Names.begin(), Names.end());
  return Names;
}

} // namespace

TEST(RequestBytes, QueriesCarryEncodedCredentialsAndParameters)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port(), "Jörg & Co", "pa ss/wörd+");
  const QByteArray Auth = "/?user=J%C3%B6rg+%26+Co&pass=pa+ss%2Fw%C3%B6rd%2B";
  const struct
  {
    std::function<void(TAPI*)> Start;
    QByteArray Target;
  } Cases[] = {
      {[](TAPI* W) { W->GetPlaylistContents(); }, Auth + "&action=getplaylist2"},
      {[](TAPI* W) { W->GetPlaybackInfo(); }, Auth + "&action=playbackinfo"},
      {[](TAPI* W) { W->DeletePlaylistTrack(0); }, Auth + "&action=delete&pos=1"},
      {[](TAPI* W) { W->MovePlaylistTrack(0, 3); }, Auth + "&action=move&pos1=1&pos2=4"},
  };
  for (const auto& Case : Cases) {
    const int Before = Server.RequestCount();
    const auto Outcome = RunWorker(Case.Start);
    ASSERT_EQ(Outcome->Calls, 1);
    ASSERT_EQ(Server.RequestCount(), Before + 1);
    const TCapturedRequest Request = Server.Requests().back();
    EXPECT_EQ(Request.RequestLine, "GET " + Case.Target + " HTTP/1.1");
    EXPECT_EQ(HeaderNames(Request), (QList<QByteArray>{"accept", "host"}));
    EXPECT_EQ(Request.Header("Host"), "127.0.0.1:" + QByteArray::number(Server.Port()));
    EXPECT_TRUE(Request.Body.isEmpty());
  }
}

TEST(RequestBytes, UploadFormByteForByte)
{
  TCaptureServer Server;
  QTemporaryDir Dir;
  UseServer("127.0.0.1", Server.Port(), "Anna Maria", "a&b=c é");
  const QByteArray Credentials = "user=Anna+Maria&pass=a%26b%3Dc+%C3%A9";

  const QByteArray Bytes57 = QByteArray("\xFB\xEF\xBE", 3).repeated(19); // Base64 "+" x 76
  const QByteArray Bytes58 = QByteArray(57, '\xFF') + "a";               // "/" x 76, then YQ==
  const struct
  {
    QByteArray Content;
    QByteArray Vt;
  } Cases[] = {
      {QByteArray(), ""},
      {QByteArray("\xFB\xFF\x00", 3), "%2B%2F8A"}, // "+/8A": no line break
      {QByteArray(56, '\xFF'), QByteArray("%2F").repeated(74) + "8%3D" + "%0D%0A"}, // 76 with "="
      {Bytes57, QByteArray("%2B").repeated(76) + "%0D%0A"},
      {Bytes58, QByteArray("%2F").repeated(76) + "%0D%0A" + "YQ%3D%3D"},
  };
  for (const auto& Case : Cases) {
    const QString Path = Dir.filePath("VT 01.flac");
    QFile File(Path);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Case.Content);
    File.close();

    const int Before = Server.RequestCount();
    // Uploading after the third row: the new entry takes position 4.
    const auto Outcome = RunWorker([&](TAPI* W) { W->InsertVoiceTrack(4, Path); });
    ASSERT_EQ(Outcome->Calls, 1);
    EXPECT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
    ASSERT_EQ(Server.RequestCount(), Before + 1);
    const TCapturedRequest Request = Server.Requests().back();
    const QByteArray Form = Credentials + "&action=vexmo&fn=VT+01.flac&pos=4&vt=" + Case.Vt;
    EXPECT_EQ(Request.RequestLine, "POST / HTTP/1.1");
    EXPECT_EQ(HeaderNames(Request),
              (QList<QByteArray>{"accept", "content-length", "content-type", "host"}));
    EXPECT_EQ(Request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(Request.Header("Content-Length"), QByteArray::number(Form.size()));
    EXPECT_EQ(Request.Body, Form) << Case.Content.size() << " bytes";
  }
}

namespace {

void WriteRandomFile(const QString& APath, qint64 ASize)
{
  QFile File(APath);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QRandomGenerator Random{quint32(ASize)};
  std::vector<quint32> Block(16384);
  for (qint64 Done = 0; Done < ASize; Done += qint64(Block.size() * 4)) {
    Random.fillRange(Block.data(), Block.size());
    File.write(reinterpret_cast<const char*>(Block.data()),
               std::min<qint64>(ASize - Done, qint64(Block.size() * 4)));
  }
}

} // namespace

// The form is sent while it is made; on the wire it is exactly the whole form built in memory.
TEST(RequestBytes, StreamedUploadSendsTheWholeFormsBytes)
{
  TCaptureServer Server;
  QTemporaryDir Dir;
  UseServer("127.0.0.1", Server.Port(), "Anna Maria", "a&b=c é");
  const QString Path = Dir.filePath("VT 01.flac");
  const qint64 P = TUploadForm::PieceBytes;
  // Around the Base64 line, the file piece read at a time, and a file of many pieces.
  for (const qint64 Size : {0LL, 1LL, 2LL, 3LL, 55LL, 56LL, 57LL, 58LL, P - 1, P, P + 1, 2 * P - 1,
                            2 * P, 2 * P + 1, 20 * P + 13}) {
    WriteRandomFile(Path, Size);
    const QByteArray Whole = BuildUploadForm("Anna Maria", "a&b=c é", Path, 4);
    const int Before = Server.RequestCount();
    const auto Outcome = RunWorker([&](TAPI* W) { W->InsertVoiceTrack(4, Path); });
    ASSERT_EQ(Outcome->Calls, 1);
    EXPECT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
    ASSERT_EQ(Server.RequestCount(), Before + 1) << Size;
    const TCapturedRequest Request = Server.Requests().back();
    EXPECT_EQ(Request.Header("Content-Length"), QByteArray::number(Whole.size())) << Size;
    EXPECT_TRUE(Request.Body == Whole) << Size << " bytes: the streamed form differs";
  }
}

// A take cut short while it is being sent: the request fails with the reason, and the station
// never receives a whole request.
TEST(RequestBytes, FileCutShortDuringUploadFailsTheRequest)
{
  // On the heap: ThreadSanitizer forgets a freed block's mutexes, but not those of a stack slot
  // that an earlier test's server used, and then misreads this server's locking.
  const auto ServerOwner = std::make_unique<TCaptureServer>();
  TCaptureServer& Server = *ServerOwner;
  QTemporaryDir Dir;
  UseServer("127.0.0.1", Server.Port());
  const QString Path = Dir.filePath("take.flac");
  // Far more than the socket buffers hold, so the client is still sending when the server
  // stops reading.
  WriteRandomFile(Path, 32 * 1024 * 1024);
  Server.PauseReadingAfter(1024 * 1024);

  auto Outcome = std::make_shared<TOutcome>();
  QPointer<TAPI> Worker = new TAPI(RecordInto(Outcome));
  Worker->InsertVoiceTrack(1, Path);
  ASSERT_TRUE(Server.WaitUntilPaused(20000));
  ASSERT_TRUE(QFile(Path).resize(1024 * 1024));
  Server.ResumeReading();
  ASSERT_TRUE(WaitUntil([&] { return Worker.isNull(); }));
  EXPECT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_TRUE(Outcome->Error.contains(Path) && Outcome->Error.contains("The upload was stopped"))
      << Outcome->Error.toStdString();
  ASSERT_TRUE(WaitUntil([&] { return Server.CutShortCount() == 1; }, 15000));
  EXPECT_EQ(Server.RequestCount(), 0);
}

TEST(RequestBytes, LargeUploadIsNotAskedToWaitForContinue)
{
  TCaptureServer Server;
  QTemporaryDir Dir;
  UseServer("127.0.0.1", Server.Port());
  const QString Path = Dir.filePath("long.flac");
  QFile File(Path);
  ASSERT_TRUE(File.open(QIODevice::WriteOnly));
  File.write(QByteArray(3 * 1024 * 1024, 'x'));
  File.close();
  const auto Outcome = RunWorker([&](TAPI* W) { W->InsertVoiceTrack(1, Path); });
  ASSERT_EQ(Outcome->Calls, 1);
  ASSERT_EQ(Server.RequestCount(), 1);
  const TCapturedRequest Request = Server.Requests().back();
  EXPECT_FALSE(Request.HasHeader("Expect"));
  EXPECT_FALSE(Request.HasHeader("User-Agent"));
  EXPECT_EQ(Request.Body.size(), Request.Header("Content-Length").toLongLong());
}

TEST(RequestBytes, UnreadableUploadSendsNothing)
{
  TCaptureServer Server;
  QTemporaryDir Dir;
  UseServer("127.0.0.1", Server.Port());
  auto Outcome = std::make_shared<TOutcome>();
  auto* Worker = new TAPI(RecordInto(Outcome));
  EXPECT_THROW(Worker->InsertVoiceTrack(1, Dir.filePath("none.flac")), TStreamError);
  delete Worker; // never started: the caller frees it
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(Server.RequestCount(), 0);
  EXPECT_EQ(Outcome->Calls, 0);
}
