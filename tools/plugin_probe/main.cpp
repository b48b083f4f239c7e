// vexmo-plugin-probe: examines plug-in files for the program in a process of its own, so that a
// plug-in that crashes or hangs while it is loaded takes only this process down.
//
//   vexmo-plugin-probe --vst <bridge library> <file>...
//   vexmo-plugin-probe --winamp <file>...
//
// Once it is set up, {"status":"ready"}; then for each file, in order, one line of JSON goes to
// standard output:
//   {"status":"ok","vendor":...,"effect":...,"params":N}   a VST plug-in
//   {"status":"ok","name":...}                              a Winamp DSP plug-in
//   {"status":"none"}                                       no usable plug-in
//   {"status":"error","error":...}                          loading it raised an error, or it is
//                                                           refused
// The caller counts the lines: when the process dies or stops answering, the file after the last
// answered one is the culprit.
#include "audio/bass.h"
#include "audio/bass_wadsp.h"
#include "vst/bass_vst.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <string>
#include <unistd.h>

namespace {

// Plug-ins reporting more parameters than this are refused: storing and showing them all would
// freeze the program.
constexpr int MaxParams = 10000;

// The answers go to a descriptor of our own: plug-ins print to standard output as they please.
FILE* GAnswers = stdout;

void Answer(const QJsonObject& AObject)
{
  const QByteArray Line = QJsonDocument(AObject).toJson(QJsonDocument::Compact);
  std::fwrite(Line.constData(), 1, static_cast<size_t>(Line.size()), GAnswers);
  std::fputc('\n', GAnswers);
  std::fflush(GAnswers);
}

void AnswerStatus(const char* AStatus)
{
  Answer(QJsonObject{{QStringLiteral("status"), QString::fromLatin1(AStatus)}});
}

void AnswerError(const QString& AError)
{
  Answer(QJsonObject{{QStringLiteral("status"), QStringLiteral("error")},
                     {QStringLiteral("error"), AError}});
}

QString ExceptionText()
{
  try {
    throw;
  } catch (const std::exception& E) {
    return QString::fromLocal8Bit(E.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

QString Field(const char* AText, size_t ASize)
{
  return QString::fromUtf8(AText, static_cast<qsizetype>(strnlen(AText, ASize)));
}

int ProbeVST(int argc, char** argv)
{
  if (argc < 3)
    return 2;
  void* Bridge = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (!Bridge) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto SetDSP = reinterpret_cast<BASS_VST_ChannelSetDSP_t>(dlsym(Bridge, "BASS_VST_ChannelSetDSP"));
  auto RemoveDSP =
      reinterpret_cast<BASS_VST_ChannelRemoveDSP_t>(dlsym(Bridge, "BASS_VST_ChannelRemoveDSP"));
  auto GetInfo = reinterpret_cast<BASS_VST_GetInfo_t>(dlsym(Bridge, "BASS_VST_GetInfo"));
  auto GetParamCount =
      reinterpret_cast<BASS_VST_GetParamCount_t>(dlsym(Bridge, "BASS_VST_GetParamCount"));
  if (!SetDSP || !RemoveDSP || !GetInfo || !GetParamCount) {
    std::fprintf(stderr, "Unable to locate a function (VST)\n");
    return 2;
  }
  // As the program does before plug-ins run: every floating-point exception masked.
  fedisableexcept(FE_ALL_EXCEPT);
  fesetround(FE_TONEAREST);
  const HSTREAM Probe = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
  AnswerStatus("ready");
  for (int i = 3; i < argc; ++i) {
    const QString Path = QString::fromLocal8Bit(argv[i]);
    DWORD Handle = 0;
    try {
      Handle = SetDSP(Probe, Path.utf16(), BASS_UNICODE, 1);
    } catch (...) {
      AnswerError(ExceptionText());
      continue;
    }
    if (Handle == 0) {
      AnswerStatus("none");
      continue;
    }
    BASS_VST_INFO Info{};
    GetInfo(Handle, &Info);
    const int Params = GetParamCount(Handle);
    RemoveDSP(Probe, Handle);
    if (Params > MaxParams) {
      AnswerError(QStringLiteral("it reports %1 parameters, more than the %2 a plug-in may have")
                      .arg(Params)
                      .arg(MaxParams));
      continue;
    }
    Answer(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                       {QStringLiteral("vendor"), Field(Info.vendorName, sizeof(Info.vendorName))},
                       {QStringLiteral("effect"), Field(Info.effectName, sizeof(Info.effectName))},
                       {QStringLiteral("params"), Params}});
  }
  return 0;
}

int ProbeWinamp(int argc, char** argv)
{
  BASS_WADSP_Init(nullptr);
  AnswerStatus("ready");
  for (int i = 2; i < argc; ++i) {
    const HWADSP Handle = BASS_WADSP_Load(argv[i], 0, 0, 10, 10, nullptr);
    if (Handle == 0) {
      AnswerStatus("none");
      continue;
    }
    const char* Name = BASS_WADSP_GetName(Handle);
    Answer(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                       {QStringLiteral("name"), QString::fromUtf8(Name ? Name : "")}});
  }
  return 0;
}

} // namespace

int main(int argc, char** argv)
{
  // Keep standard output for the answers; whatever else is printed goes to standard error.
  const int AnswerFd = dup(STDOUT_FILENO);
  if (AnswerFd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
    return 2;
  GAnswers = fdopen(AnswerFd, "w");
  if (!GAnswers)
    return 2;
  int Result = 2;
  if (argc >= 2 && std::strcmp(argv[1], "--vst") == 0)
    Result = ProbeVST(argc, argv);
  else if (argc >= 2 && std::strcmp(argv[1], "--winamp") == 0)
    Result = ProbeWinamp(argc, argv);
  else
    std::fprintf(stderr, "usage: %s --vst <bridge> <file>... | --winamp <file>...\n", argv[0]);
  std::fflush(GAnswers);
  std::fflush(stderr);
  // The plug-ins stay loaded; their exit handlers are none of our business once all is answered.
  std::_Exit(Result);
}
