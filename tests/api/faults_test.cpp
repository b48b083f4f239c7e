// Every way a request can go wrong ends in one callback with the failure's own text.
#include "api_test_support.h"
#include "capture_server.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A port on which nobody listens: bound once, then released.
quint16 RefusedPort()
{
  const int Socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
  socklen_t Length = sizeof Address;
  ::getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length);
  ::close(Socket);
  return ntohs(Address.sin_port);
}

void Delete0(TAPI* AWorker)
{
  AWorker->DeletePlaylistTrack(0);
}

void Playlist(TAPI* AWorker)
{
  AWorker->GetPlaylistContents();
}

// Restores the program's time-outs after a test that shortened them.
struct TShortTimeouts
{
  explicit TShortTimeouts(int AStallSeconds) { SetHttpTimeoutsForTesting(30000, AStallSeconds); }
  ~TShortTimeouts() { SetHttpTimeoutsForTesting(30000, 30); }
};

} // namespace

TEST(Faults, NoServerConfiguredSendsNothing)
{
  UseServer("", 8000);
  for (const auto& Start :
       {std::function<void(TAPI*)>(Playlist), std::function<void(TAPI*)>(Delete0)}) {
    const auto Outcome = RunWorker(Start);
    EXPECT_EQ(Outcome->Calls, 1);
    EXPECT_FALSE(Outcome->Success);
    EXPECT_EQ(Outcome->Error, "Connection not configured. Please open Settings.");
    EXPECT_TRUE(Outcome->WorkerGone);
  }
}

TEST(Faults, RefusedConnectionReportsTheNetworkMessage)
{
  const quint16 Port = RefusedPort();
  UseServer("127.0.0.1", Port);
  const auto Outcome = RunWorker(Playlist);
  EXPECT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_TRUE(
      Outcome->Error.startsWith(QString("Failed to connect to 127.0.0.1 port %1").arg(Port)))
      << Outcome->Error.toStdString();
  EXPECT_TRUE(Outcome->Error.endsWith("Couldn't connect to server"))
      << Outcome->Error.toStdString();
  EXPECT_EQ(Outcome->Playlist, nullptr);
}

TEST(Faults, MalformedAddressIsANetworkError)
{
  UseServer("bad host", 80);
  const auto Outcome = RunWorker(Playlist);
  EXPECT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_FALSE(Outcome->Error.isEmpty());
}

TEST(Faults, ServerThatNeverAnswersTimesOut)
{
  TShortTimeouts Timeouts(1);
  TCaptureServer Server;
  Server.SetSilent(true);
  UseServer("127.0.0.1", Server.Port());
  QElapsedTimer Clock;
  Clock.start();
  const auto Outcome = RunWorker(Delete0);
  EXPECT_EQ(Outcome->Calls, 1);
  EXPECT_FALSE(Outcome->Success);
  EXPECT_TRUE(Outcome->Error.startsWith("Operation too slow")) << Outcome->Error.toStdString();
  EXPECT_LT(Clock.elapsed(), 10000);
}

// Replies that arrive whole or broken, and what the delete request makes of them.
TEST(Faults, RepliesToADelete)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  const QByteArray Html =
      "<html><body><h1>Internal error</h1>\n<p>Database locked</p></body></html>";
  const struct
  {
    QByteArray Raw;
    bool Success;
    QString Error; // "*" : any non-empty text
  } Cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nOK", true, ""},
      {"HTTP/1.1 200 OK\r\n\r\nOK", true, ""}, // no length: the body runs to the close
      {"HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nOK\r\n", false, "OK\r\n"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false, "ok"},
      {"HTTP/1.1 204 No Content\r\n\r\n", false, ""},
      {"HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: " +
           QByteArray::number(Html.size()) + "\r\n\r\n" + Html,
       false, QString::fromUtf8(Html)},
      // An error without a body is told by its status line.
      {"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", false, "HTTP 403 Forbidden"},
      // Closed in the middle of the body.
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nOK", false, "*"},
      // Closed before any status line.
      {"", false, "*"},
      {"garbage\r\n\r\n", false, "*"},
  };
  for (const auto& Case : Cases) {
    Server.SetReply(Case.Raw);
    const auto Outcome = RunWorker(Delete0);
    EXPECT_EQ(Outcome->Calls, 1) << Case.Raw.toStdString();
    EXPECT_EQ(Outcome->Success, Case.Success) << Case.Raw.toStdString();
    if (Case.Error == "*")
      EXPECT_FALSE(Outcome->Error.isEmpty()) << Case.Raw.toStdString();
    else
      EXPECT_EQ(Outcome->Error, Case.Error) << Case.Raw.toStdString();
  }
}

TEST(Faults, BodyIsDecodedByItsCharset)
{
  TCaptureServer Server;
  UseServer("127.0.0.1", Server.Port());
  const struct
  {
    QByteArray ContentType;
    QByteArray Title; // as sent
    QString Shown;
  } Cases[] = {
      {"text/xml; charset=ISO-8859-1", "Caf\xE9 M\xFCller", "Café Müller"},
      {"text/xml;charset=\"iso-8859-1\"", "Caf\xE9", "Café"},
      {"text/xml; charset=windows-1252", "\x80 5", "€ 5"},
      {"text/xml; charset=UTF-8", "Caf\xC3\xA9", "Café"},
      {"text/xml", "Caf\xC3\xA9", "Café"},
      {"", "Caf\xC3\xA9", "Café"},
      {"text/xml; charset=no-such-charset", "Caf\xC3\xA9", "Café"},
  };
  for (const auto& Case : Cases) {
    Server.SetReply(200, "<PLAYLIST><TRACK CASTTITLE=\"" + Case.Title + "\"/></PLAYLIST>",
                    Case.ContentType);
    const auto Outcome = RunWorker(Playlist);
    ASSERT_EQ(Outcome->Calls, 1);
    ASSERT_TRUE(Outcome->Success) << Outcome->Error.toStdString();
    ASSERT_EQ(Outcome->Playlist->size(), 1u);
    EXPECT_EQ(Outcome->Playlist->at(0).Title, Case.Shown) << Case.ContentType.toStdString();
  }
  // The error text of a failed request is decoded the same way.
  Server.SetReply(403, "Zugriff verweigert f\xFCr Gast", "text/plain; charset=iso-8859-1");
  EXPECT_EQ(RunWorker(Playlist)->Error, "Zugriff verweigert für Gast");
}
