// Station client figures, each against a peer measured in the same run:
//  1. a 10,000-entry playlist from the local station, from the request to the list in the
//     callback, against the curl command-line tool fetching the same address (goal: ratio at
//     most 1.5);
//  2. the upload of a file of each size given (100 MB by default): the whole upload, request to
//     callback, against the curl tool posting the same form from a file (goal: ratio at most
//     1.2), and the peak memory of the uploads above the baseline (goal: at most 16 MB whatever
//     the size).
//
//   vexmo_api_bench [repetitions] [upload MB...]
#include "api/request_worker.h"
#include "api/upload_form.h"
#include "settings/connection_settings.h"
#include "station_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// CPU time of the calling thread, which a busy machine does not inflate the way it does wall time.
double ThreadCpuMs()
{
  timespec Now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Now);
  return Now.tv_sec * 1e3 + Now.tv_nsec / 1e6;
}

// CPU time of the whole process: the form encodes on a thread of its own.
double ProcessCpuMs()
{
  timespec Now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
  return Now.tv_sec * 1e3 + Now.tv_nsec / 1e6;
}

double Median(std::vector<double> AValues)
{
  std::sort(AValues.begin(), AValues.end());
  return AValues[AValues.size() / 2];
}

// Kilobytes of a "VmRSS:" or "VmHWM:" line of /proc/self/status.
qint64 StatusKb(const char* AKey)
{
  QFile Status("/proc/self/status");
  if (!Status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray& Line : Status.readAll().split('\n'))
    if (Line.startsWith(AKey))
      return Line.mid(qstrlen(AKey)).trimmed().split(' ').value(0).toLongLong();
  return -1;
}

// Makes VmHWM start again from the current resident size (Linux 4.0 and later).
bool ResetPeak()
{
  QFile ClearRefs("/proc/self/clear_refs");
  return ClearRefs.open(QIODevice::WriteOnly) && ClearRefs.write("5") == 1;
}

// Accepts connections, reads and forgets every request, answers "200 OK": a station that costs
// this process no memory, so that the peak belongs to the client alone.
class TSinkServer
{
public:
  TSinkServer()
  {
    FListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
    ::listen(FListener, 4);
    socklen_t Length = sizeof Address;
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length);
    FPort = ntohs(Address.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TSinkServer()
  {
    FStop = true;
    ::shutdown(FListener, SHUT_RDWR);
    FThread.join();
    ::close(FListener);
  }
  quint16 Port() const { return FPort; }

private:
  void Serve()
  {
    while (!FStop) {
      const int Socket = ::accept(FListener, nullptr, nullptr);
      if (Socket < 0)
        return;
      static char Buffer[1 << 16];
      QByteArray Head;
      qint64 Left = -1;
      for (;;) {
        const ssize_t Got = ::recv(Socket, Buffer, sizeof Buffer, 0);
        if (Got <= 0)
          break;
        if (Left < 0) {
          Head.append(Buffer, Got);
          const qsizetype End = Head.indexOf("\r\n\r\n");
          if (End < 0)
            continue;
          const qsizetype At = Head.toLower().indexOf("content-length:");
          const qint64 Length =
              At < 0 ? 0
                     : Head.mid(At + 15, Head.indexOf('\r', At) - At - 15).trimmed().toLongLong();
          Left = Length - (Head.size() - End - 4);
        } else {
          Left -= Got;
        }
        if (Left <= 0)
          break;
      }
      const char Reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
      (void)::send(Socket, Reply, sizeof Reply - 1, MSG_NOSIGNAL);
      ::close(Socket);
    }
  }
  int FListener = -1;
  quint16 FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// One request, timed from creating the worker to the callback; the callback's own check that
// the list arrived whole.
double TimeWorker(const std::function<void(TAPI*)>& AStart, size_t AExpected, bool& AOk)
{
  QEventLoop Loop;
  QElapsedTimer Clock;
  double Ms = 0;
  Clock.start();
  auto* Worker = new TAPI([&](TAPI* ASender) {
    Ms = Clock.nsecsElapsed() / 1e6;
    const auto List = ASender->TakePlaylist();
    AOk = ASender->Success() && (AExpected == 0 || (List && List->size() == AExpected));
    if (!ASender->Success())
      std::fprintf(stderr, "request failed: %s\n", qPrintable(ASender->Error()));
    Loop.quit();
  });
  AStart(Worker);
  Loop.exec();
  return Ms;
}

void PlaylistFetch(int ARepetitions)
{
  constexpr int Entries = 10000;
  TStationOptions Options;
  Options.Entries = Entries;
  Options.AutoFill = false;
  Options.KeepPlayed = -1;
  Options.LogToStderr = false;
  TStationServer Station(Options);
  if (!Station.Start()) {
    std::fprintf(stderr, "station: %s\n", qPrintable(Station.ErrorText()));
    return;
  }
  Station.SetTime(QDateTime::currentDateTime());
  Settings->SetServer("127.0.0.1");
  Settings->SetPort(Station.Port());
  Settings->SetUser("demo");
  Settings->SetPass("demo");
  const QString URL = Station.BaseUrl() + "/?user=demo&pass=demo&action=getplaylist2";

  std::vector<double> Ours, Curl;
  bool AllOk = true;
  for (int I = 0; I <= ARepetitions; ++I) { // the first round warms up and is not counted
    bool Ok = false;
    const double OurMs = TimeWorker([](TAPI* W) { W->GetPlaylistContents(); }, Entries, Ok);
    AllOk = AllOk && Ok;

    QElapsedTimer Clock;
    Clock.start();
    QProcess CurlProcess;
    CurlProcess.start("curl", {"-s", "-f", "-o", "/dev/null", URL});
    const bool CurlOk = CurlProcess.waitForFinished(30000) && CurlProcess.exitCode() == 0;
    const double CurlMs = Clock.nsecsElapsed() / 1e6;
    AllOk = AllOk && CurlOk;
    if (I > 0) {
      Ours.push_back(OurMs);
      Curl.push_back(CurlMs);
    }
  }
  const QByteArray Body = [&] {
    QProcess P;
    P.start("curl", {"-s", URL});
    P.waitForFinished(30000);
    return P.readAllStandardOutput();
  }();
  std::printf("playlist of %d entries (%lld bytes), median of %d:\n", Entries,
              static_cast<long long>(Body.size()), ARepetitions);
  std::printf("  TAPI request to list in callback  %8.2f ms\n", Median(Ours));
  std::printf("  curl command-line tool            %8.2f ms\n", Median(Curl));
  std::printf("  ratio TAPI / curl                 %8.2f   (goal <= 1.5)%s\n",
              Median(Ours) / Median(Curl), AllOk ? "" : "   SOME REQUESTS FAILED");
}

void Upload(qint64 AMegabytes)
{
  const qint64 Size = AMegabytes * 1024 * 1024;
  QTemporaryDir Dir;
  const QString Path = Dir.filePath("voice track.flac");
  {
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly))
      return;
    // Random bytes, like compressed audio; written in pieces so the baseline stays small.
    std::vector<quint32> Piece(256 * 1024);
    for (qint64 Done = 0; Done < Size; Done += qint64(Piece.size() * 4)) {
      QRandomGenerator::global()->fillRange(Piece.data(), Piece.size());
      File.write(reinterpret_cast<const char*>(Piece.data()),
                 std::min<qint64>(Size - Done, qint64(Piece.size() * 4)));
    }
  }

  // The client's own work apart from the network: the counting pass and the encoding pass.
  double CountCpuMs = 0, EncodeCpuMs = 0;
  {
    TUploadForm Form("demo", "demo", Path, 1);
    double Cpu = ThreadCpuMs();
    if (!Form.Prepare()) {
      std::fprintf(stderr, "form: %s\n", qPrintable(Form.Error()));
      return;
    }
    CountCpuMs = ThreadCpuMs() - Cpu;
    Cpu = ProcessCpuMs();
    std::vector<char> Buffer(512 * 1024);
    while (Form.Read(Buffer.data(), qint64(Buffer.size())) > 0) {
    }
    EncodeCpuMs = ProcessCpuMs() - Cpu;
  }
  // The same form in a file, for the curl tool; streamed, so that this costs no memory either.
  const QString FormPath = Dir.filePath("form.txt");
  qint64 FormSize = 0;
  {
    TUploadForm Form("demo", "demo", Path, 1);
    QFile Out(FormPath);
    if (!Form.Prepare() || !Out.open(QIODevice::WriteOnly))
      return;
    std::vector<char> Buffer(1 << 20);
    for (qint64 Got; (Got = Form.Read(Buffer.data(), qint64(Buffer.size()))) > 0;)
      Out.write(Buffer.data(), Got);
    FormSize = Out.size();
  }

  TSinkServer Sink;
  Settings->SetServer("127.0.0.1");
  Settings->SetPort(Sink.Port());
  const QString URL = QStringLiteral("http://127.0.0.1:%1/").arg(Sink.Port());
  // Both sides read their input from the page cache: each file has just been written.
  const int Repetitions = AMegabytes >= 500 ? 3 : 5;
  bool AllOk = true;
  // The curl tool posting the form file: -T streams it as it sends, --data-binary reads it
  // whole first (and gives up on files of a gigabyte).
  const auto RunCurl = [&](const QStringList& ABody) {
    QElapsedTimer Clock;
    Clock.start();
    QProcess CurlProcess;
    CurlProcess.start("curl", QStringList{"-s", "-S", "-f", "-o", "/dev/null", "-H",
                                          "Content-Type: application/x-www-form-urlencoded", "-H",
                                          "Expect:"} +
                                  ABody + QStringList{URL});
    if (CurlProcess.waitForFinished(600000) && CurlProcess.exitCode() == 0)
      return Clock.nsecsElapsed() / 1e6;
    std::fprintf(stderr, "curl %s failed (%d): %s", qPrintable(ABody.join(' ')),
                 CurlProcess.exitCode(), CurlProcess.readAllStandardError().constData());
    return -1.0;
  };
  // Ours and the streaming curl take turns, so that a change in the machine's load hits both.
  std::vector<double> Ours, Streamed;
  const bool PeakReset = ResetPeak();
  const qint64 BaselineKb = StatusKb("VmRSS:");
  for (int I = 0; I < Repetitions; ++I) {
    bool Ok = false;
    Ours.push_back(TimeWorker([&](TAPI* W) { W->InsertVoiceTrack(1, Path); }, 0, Ok));
    AllOk = AllOk && Ok;
    Streamed.push_back(RunCurl({"-X", "POST", "-T", FormPath}));
  }
  const qint64 PeakKb = StatusKb("VmHWM:");
  const double CurlStreamMs =
      *std::min_element(Streamed.begin(), Streamed.end()) < 0 ? -1.0 : Median(Streamed);
  const double CurlMs = RunCurl({"--data-binary", "@" + FormPath});

  std::printf("upload of a %lld MB file (form %lld bytes, %.3f x the file), median of %d:\n",
              static_cast<long long>(AMegabytes), static_cast<long long>(FormSize),
              double(FormSize) / double(Size), Repetitions);
  std::printf("  counting pass, CPU                 %8.0f ms   (%.0f MB/s)\n", CountCpuMs,
              AMegabytes / (CountCpuMs / 1000));
  std::printf("  encoding pass, CPU of both threads %8.0f ms   (%.0f MB/s)\n", EncodeCpuMs,
              AMegabytes / (EncodeCpuMs / 1000));
  std::printf("  TAPI upload, request to callback  %8.0f ms%s\n", Median(Ours),
              AllOk ? "" : "   UPLOAD FAILED");
  const auto PrintPeer = [&](const char* AName, double AMs) {
    if (AMs < 0)
      std::printf("  %-35s   failed (see above)\n", AName);
    else
      std::printf("  %-35s %8.0f ms   ratio TAPI / curl %5.2f (goal <= 1.2)\n", AName, AMs,
                  Median(Ours) / AMs);
  };
  PrintPeer("curl -X POST -T form file", CurlStreamMs);
  PrintPeer("curl --data-binary @form file (once)", CurlMs);
  std::printf("  peak memory above baseline        %8.1f MB   (goal <= 16)%s\n",
              double(PeakKb - BaselineKb) / 1024,
              PeakReset ? "" : "   (peak could not be reset: figure includes set-up)");
}

} // namespace

int main(int argc, char** argv)
{
  QCoreApplication App(argc, argv);
  const int Repetitions = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
  Settings = new TSettings;
  PlaylistFetch(Repetitions);
  if (argc <= 2)
    Upload(100);
  for (int I = 2; I < argc; ++I)
    Upload(std::max(1, atoi(argv[I])));
  return 0;
}
