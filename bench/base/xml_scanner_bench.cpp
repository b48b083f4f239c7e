// The XML scanner on a station playlist reply of 10,000 TRACK entries (about 1.5 MB), against
// pugixml parsing the same reply in the same run. Both do what the API client does: find every
// TRACK tag (letter case ignored) and read CASTTITLE, DURATION and STARTTIME.
//
// The scanner gets the reply as the client holds it, a QString (UTF-16); pugixml gets the UTF-8
// bytes and parses them in place, its fastest mode. The printed ratio is scanner time / pugixml
// time: at most 1 is the goal. BM_TXmlParserFromUtf8 starts from the UTF-8 bytes instead, so its
// time includes decoding them.
#include "base/xml_scanner.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

namespace {

constexpr int KTracks = 10000;

std::string MakeReply()
{
  static const char* const Artists[] = {
      "Queen",     "Simon &amp; Garfunkel", "Beyonc&#233;",       "The Rolling Stones",
      "Daft Punk", "Ren&#xE9;e Fleming",    "Guns N&apos; Roses", "Ed Sheeran"};
  static const char* const Titles[] = {
      "Don&apos;t Stop Me Now",   "Mrs. Robinson", "Halo",
      "Paint It Black",           "One More Time", "O mio babbino caro",
      "Sweet Child O&apos; Mine", "Shape of You"};
  std::string R = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<PLAYLIST COUNT=\"10000\">\r\n";
  char Line[512];
  int Seconds = 6 * 3600;
  for (int I = 0; I < KTracks; ++I) {
    const int Len = 150 + (I * 37) % 180;
    const char* Artist = Artists[I % 8];
    const char* Title = Titles[(I / 8) % 8];
    std::snprintf(Line, sizeof(Line),
                  "  <TRACK ID=\"%d\" TYPE=\"%s\" CASTTITLE=\"%s - %s\" DURATION=\"%d:%02d\" "
                  "STARTTIME=\"%d:%02d:%02d\" FILENAME=\"/music/%05d.mp3\"/>\r\n",
                  100000 + I, I % 10 == 0 ? "Jingle" : "Music", Artist, Title, Len / 60, Len % 60,
                  Seconds / 3600 % 24, Seconds / 60 % 60, Seconds % 60, I);
    R += Line;
    Seconds += Len;
  }
  R += "</PLAYLIST>\r\n";
  return R;
}

const std::string& ReplyUtf8()
{
  static const std::string Reply = MakeReply();
  return Reply;
}

const QString& ReplyText()
{
  static const QString Text = QString::fromStdString(ReplyUtf8());
  return Text;
}

// What the client reads from one scanner over the reply.
qsizetype ScanReply(const QString& AText, int& ATracks)
{
  static const QString KNames[] = {QStringLiteral("CASTTITLE"), QStringLiteral("DURATION"),
                                   QStringLiteral("STARTTIME")};
  qsizetype Total = 0;
  TXmlParser P;
  P.LoadFromBuffer(AText);
  while (P.Scan()) {
    if ((P.CurPartType == ptStartTag || P.CurPartType == ptEmptyTag) &&
        P.CurName.compare(u"TRACK", Qt::CaseInsensitive) == 0) {
      // Read in place, as pugixml's values are (Value() would add a reference count each).
      for (const QString& Name : KNames)
        if (const TNvpNode* N = P.CurAttr.Node(Name))
          Total += N->Value.size();
      ++ATracks;
    }
  }
  return Total;
}

void BM_TXmlParser(benchmark::State& AState)
{
  const QString& Text = ReplyText();
  for (auto _ : AState) {
    int Tracks = 0;
    benchmark::DoNotOptimize(ScanReply(Text, Tracks));
    if (Tracks != KTracks)
      AState.SkipWithError("wrong number of tracks");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(ReplyUtf8().size()));
}

void BM_TXmlParserFromUtf8(benchmark::State& AState)
{
  const std::string& Bytes = ReplyUtf8();
  for (auto _ : AState) {
    int Tracks = 0;
    const QString Text = QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size()));
    benchmark::DoNotOptimize(ScanReply(Text, Tracks));
    if (Tracks != KTracks)
      AState.SkipWithError("wrong number of tracks");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Bytes.size()));
}

size_t PugiReadReply(char* ABuffer, size_t ASize, int& ATracks)
{
  pugi::xml_document Doc;
  if (!Doc.load_buffer_inplace(ABuffer, ASize, pugi::parse_default, pugi::encoding_utf8))
    return 0;
  size_t Total = 0;
  for (pugi::xml_node Node = Doc.first_child(); Node;) {
    if (Node.type() == pugi::node_element && strcasecmp(Node.name(), "TRACK") == 0) {
      Total += std::strlen(Node.attribute("CASTTITLE").value()) +
               std::strlen(Node.attribute("DURATION").value()) +
               std::strlen(Node.attribute("STARTTIME").value());
      ++ATracks;
    }
    // Document order, like the scanner.
    if (Node.first_child()) {
      Node = Node.first_child();
    } else {
      while (Node && !Node.next_sibling())
        Node = Node.parent();
      if (Node)
        Node = Node.next_sibling();
    }
  }
  return Total;
}

void BM_Pugixml(benchmark::State& AState)
{
  // pugixml parses in place, so each pass works on a fresh copy of the reply's bytes; the copy
  // is timed (BM_ReplyCopy shows its share) because pausing the timer costs more than it does.
  const std::string& Bytes = ReplyUtf8();
  std::vector<char> Work(Bytes.size());
  for (auto _ : AState) {
    std::memcpy(Work.data(), Bytes.data(), Bytes.size());
    int Tracks = 0;
    benchmark::DoNotOptimize(PugiReadReply(Work.data(), Work.size(), Tracks));
    if (Tracks != KTracks)
      AState.SkipWithError("wrong number of tracks");
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Bytes.size()));
}

void BM_ReplyCopy(benchmark::State& AState)
{
  const std::string& Bytes = ReplyUtf8();
  std::vector<char> Work(Bytes.size());
  for (auto _ : AState) {
    std::memcpy(Work.data(), Bytes.data(), Bytes.size());
    benchmark::DoNotOptimize(Work.data());
    benchmark::ClobberMemory();
  }
}

double MinOf(const std::vector<double>& AValues)
{
  return AValues.empty() ? 0 : *std::min_element(AValues.begin(), AValues.end());
}

// Repeated runs, taking turns; the ratio uses the fastest CPU time of each, the figure least
// disturbed by other work on the machine.
#define VEXMO_XML_BENCH(Name)                                                                      \
  BENCHMARK(Name)->Unit(benchmark::kMillisecond)->Repetitions(15)->ComputeStatistics("min", MinOf)

VEXMO_XML_BENCH(BM_TXmlParser);
VEXMO_XML_BENCH(BM_Pugixml);
VEXMO_XML_BENCH(BM_ReplyCopy);
VEXMO_XML_BENCH(BM_TXmlParserFromUtf8);

// Keeps each benchmark's fastest CPU time per iteration.
class TCaptureReporter : public benchmark::ConsoleReporter
{
public:
  std::map<std::string, double> Times;

  void ReportRuns(const std::vector<Run>& ARuns) override
  {
    for (const Run& R : ARuns)
      if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "min")
        Times[R.run_name.function_name] = R.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(ARuns);
  }
};

void PrintRatio(TCaptureReporter& AReporter, const char* AOurs, const char* APeer)
{
  if (!AReporter.Times.count(AOurs) || !AReporter.Times.count(APeer))
    return;
  const double Ours = AReporter.Times[AOurs];
  const double Peer = AReporter.Times[APeer];
  std::printf("ratio %s / %s = %.3f (%.3f ms / %.3f ms CPU)%s\n", AOurs, APeer, Ours / Peer, Ours,
              Peer, Ours <= Peer ? "" : "  above 1");
}

} // namespace

int main(int argc, char** argv)
{
  // Freed memory stays with the process: otherwise each pass of pugixml gets its pages back from
  // the kernel, and its time depends on what ran before it more than on its own work.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  // The repetitions of the benchmarks take turns, so that a change in the machine's load during
  // the run touches all of them alike (a later --benchmark_enable_random_interleaving wins).
  std::vector<char*> Args(argv, argv + argc);
  char Interleave[] = "--benchmark_enable_random_interleaving=true";
  Args.insert(Args.begin() + 1, Interleave);
  int ArgCount = int(Args.size());
  Args.push_back(nullptr);
  benchmark::Initialize(&ArgCount, Args.data());
  if (benchmark::ReportUnrecognizedArguments(ArgCount, Args.data()))
    return 1;
  std::printf("playlist reply: %d TRACK entries, %zu bytes UTF-8\n", KTracks, ReplyUtf8().size());
  TCaptureReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  std::printf("\nfastest CPU time of each (goal: the scanner at most as slow as pugixml):\n");
  PrintRatio(Reporter, "BM_TXmlParser", "BM_Pugixml");
  PrintRatio(Reporter, "BM_TXmlParserFromUtf8", "BM_Pugixml");
  if (Reporter.Times.count("BM_ReplyCopy"))
    std::printf("(of pugixml's time, %.3f ms is the copy of the reply it parses in place)\n",
                Reporter.Times["BM_ReplyCopy"]);
  benchmark::Shutdown();
  return 0;
}
