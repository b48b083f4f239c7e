#include "dsp/plugin_probe.h"

#include "base/data_folders.h"
#include "base/ini_file.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>

namespace {

QString GProgram;
int GTimeLimit = 10000;

const QString CacheFileName = QStringLiteral("pluginprobe.ini");

TPluginProbeResult Failed(const QString& AError)
{
  TPluginProbeResult Result;
  Result.Status = TPluginProbeResult::prFailed;
  Result.Error = AError;
  return Result;
}

// How long the helper may take to start and load the bridge.
constexpr int CStartLimit = 60000;

bool IsReady(const QByteArray& ALine)
{
  return QJsonDocument::fromJson(ALine).object().value(QStringLiteral("status")).toString() ==
         QLatin1String("ready");
}

bool WaitUntilReady(QProcess& AChild)
{
  QDeadlineTimer Deadline(CStartLimit);
  for (;;) {
    if (AChild.canReadLine())
      return IsReady(AChild.readLine().trimmed());
    if (AChild.state() == QProcess::NotRunning || Deadline.hasExpired())
      return false;
    AChild.waitForReadyRead(int(std::max<qint64>(1, Deadline.remainingTime())));
  }
}

TPluginProbeResult ParseAnswer(const QByteArray& ALine)
{
  const QJsonObject Answer = QJsonDocument::fromJson(ALine).object();
  const QString Status = Answer.value(QStringLiteral("status")).toString();
  TPluginProbeResult Result;
  if (Status == QLatin1String("ok")) {
    Result.Status = TPluginProbeResult::prOk;
    Result.Vendor = Answer.value(QStringLiteral("vendor")).toString();
    Result.Effect = Answer.value(QStringLiteral("effect")).toString();
    Result.Params = Answer.value(QStringLiteral("params")).toInt();
    Result.Name = Answer.value(QStringLiteral("name")).toString();
  } else if (Status == QLatin1String("none")) {
    Result.Status = TPluginProbeResult::prNone;
  } else if (Status == QLatin1String("error")) {
    Result = Failed(Answer.value(QStringLiteral("error")).toString());
  } else {
    Result = Failed(QStringLiteral("the examination gave no usable answer"));
  }
  return Result;
}

const char* KindName(TPluginType AKind)
{
  return AKind == ptVST ? "VST" : "DSP";
}

const char* StatusName(TPluginProbeResult::TStatus AStatus)
{
  switch (AStatus) {
  case TPluginProbeResult::prOk:
    return "ok";
  case TPluginProbeResult::prNone:
    return "none";
  default:
    return "failed";
  }
}

} // namespace

QString PluginProbeProgram()
{
  return GProgram.isEmpty() ? ProgramFolder() + QStringLiteral("vexmo-plugin-probe") : GProgram;
}

void SetPluginProbeProgram(const QString& AProgram)
{
  GProgram = AProgram;
}

int PluginProbeTimeLimit()
{
  return GTimeLimit;
}

void SetPluginProbeTimeLimit(int AMilliseconds)
{
  GTimeLimit = AMilliseconds;
}

std::vector<TPluginProbeResult> ProbePluginFiles(TPluginType AKind, const QStringList& APaths,
                                                 const QString& ABridge, QString* AStartError)
{
  std::vector<TPluginProbeResult> Results(static_cast<size_t>(APaths.size()));
  qsizetype Next = 0;
  const auto FailRest = [&](const QString& AError) {
    for (; Next < APaths.size(); ++Next)
      Results[static_cast<size_t>(Next)] = Failed(AError);
    if (AStartError)
      *AStartError = AError;
  };
  // One child examines the files in order; after a crash or a hang a fresh one goes on with the
  // files after the culprit.
  while (Next < APaths.size()) {
    QProcess Child;
    Child.setStandardErrorFile(QProcess::nullDevice());
    // The names need no display; without one, plug-ins do not build their editors to report
    // the editor's size.
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.remove(QStringLiteral("DISPLAY"));
    Environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    Child.setProcessEnvironment(Environment);
    QStringList Arguments;
    if (AKind == ptVST)
      Arguments << QStringLiteral("--vst") << ABridge;
    else
      Arguments << QStringLiteral("--winamp");
    Arguments += APaths.mid(Next);
    Child.start(PluginProbeProgram(), Arguments, QIODevice::ReadOnly);
    const QString Name = QFileInfo(PluginProbeProgram()).fileName();
    if (!Child.waitForStarted(CStartLimit)) {
      FailRest(QStringLiteral("%1 could not be started: %2").arg(Name, Child.errorString()));
      break;
    }
    // The time limit counts from the helper's "ready": starting a process on a busy machine may
    // take longer than a plug-in is given.
    if (!WaitUntilReady(Child)) {
      Child.kill();
      Child.waitForFinished(-1);
      FailRest(Child.exitStatus() == QProcess::NormalExit && Child.exitCode() != 0
                   ? QStringLiteral("%1 ended with status %2")
                         .arg(Name, QString::number(Child.exitCode()))
                   : QStringLiteral("%1 did not start properly").arg(Name));
      break;
    }
    QDeadlineTimer Deadline(GTimeLimit);
    bool Restart = false;
    while (Next < APaths.size() && !Restart) {
      if (Child.canReadLine()) {
        Results[static_cast<size_t>(Next++)] = ParseAnswer(Child.readLine().trimmed());
        Deadline.setRemainingTime(GTimeLimit);
        continue;
      }
      if (Child.state() == QProcess::NotRunning) {
        // Plug-ins may also end the process themselves (exit() in a library constructor).
        Results[static_cast<size_t>(Next++)] =
            Failed(Child.exitStatus() == QProcess::NormalExit
                       ? QStringLiteral("it ended the process (status %1) while it was loaded")
                             .arg(Child.exitCode())
                       : QStringLiteral("it crashed while it was loaded"));
        Restart = true;
        continue;
      }
      if (Deadline.hasExpired()) {
        Child.kill();
        Child.waitForFinished(-1);
        Results[static_cast<size_t>(Next++)] =
            Failed(QStringLiteral("it did not answer within %1 seconds while it was loaded")
                       .arg(GTimeLimit / 1000.0, 0, 'g', 3));
        Restart = true;
        continue;
      }
      // Also wakes when the child ends; buffered answers are read before its end is looked at.
      Child.waitForReadyRead(int(std::max<qint64>(1, Deadline.remainingTime())));
    }
    if (!Restart) {
      Child.closeReadChannel(QProcess::StandardOutput);
      if (!Child.waitForFinished(GTimeLimit))
        Child.kill();
      Child.waitForFinished(-1);
    }
  }
  return Results;
}

TPluginProbeCache::TPluginProbeCache(const QString& AFolder)
    : FFileName(AFolder.isEmpty() ? QString() : AFolder + CacheFileName)
{
  if (FFileName.isEmpty() || !QFileInfo::exists(FFileName))
    return;
  const TIniFile Ini(FFileName);
  for (const QString& Section : Ini.ReadSections()) {
    const QString Kind = Ini.ReadString(Section, QStringLiteral("Kind"));
    const QString Path = Ini.ReadString(Section, QStringLiteral("Path"));
    const QString Status = Ini.ReadString(Section, QStringLiteral("Status"));
    bool SizeOk = false;
    bool ModifiedOk = false;
    TEntry Entry;
    Entry.Size = Ini.ReadString(Section, QStringLiteral("Size")).toLongLong(&SizeOk);
    Entry.Modified = Ini.ReadString(Section, QStringLiteral("Modified")).toLongLong(&ModifiedOk);
    if (Path.isEmpty() || !SizeOk || !ModifiedOk ||
        (Kind != QLatin1String("VST") && Kind != QLatin1String("DSP")))
      continue;
    TPluginProbeResult& R = Entry.Result;
    if (Status == QLatin1String("ok"))
      R.Status = TPluginProbeResult::prOk;
    else if (Status == QLatin1String("none"))
      R.Status = TPluginProbeResult::prNone;
    else if (Status == QLatin1String("failed"))
      R.Status = TPluginProbeResult::prFailed;
    else
      continue;
    R.Vendor = Ini.ReadString(Section, QStringLiteral("Vendor"));
    R.Effect = Ini.ReadString(Section, QStringLiteral("Effect"));
    R.Params = Ini.ReadInteger(Section, QStringLiteral("Params"), 0);
    R.Name = Ini.ReadString(Section, QStringLiteral("Name"));
    R.Error = Ini.ReadString(Section, QStringLiteral("Error"));
    FEntries[{Kind == QLatin1String("VST") ? ptVST : ptDSP, Path}] = Entry;
  }
}

bool TPluginProbeCache::Find(TPluginType AKind, const QString& APath,
                             TPluginProbeResult& AResult) const
{
  const auto Found = FEntries.find({AKind, APath});
  if (Found == FEntries.end())
    return false;
  const QFileInfo Info(APath);
  if (!Info.isFile() || Info.size() != Found->second.Size ||
      Info.lastModified().toMSecsSinceEpoch() != Found->second.Modified)
    return false;
  AResult = Found->second.Result;
  return true;
}

void TPluginProbeCache::Store(TPluginType AKind, const QString& APath,
                              const TPluginProbeResult& AResult)
{
  const QFileInfo Info(APath);
  if (!Info.isFile())
    return;
  TEntry& Entry = FEntries[{AKind, APath}];
  Entry.Size = Info.size();
  Entry.Modified = Info.lastModified().toMSecsSinceEpoch();
  Entry.Result = AResult;
  FChanged = true;
}

bool TPluginProbeCache::Save()
{
  if (!FChanged || FFileName.isEmpty())
    return true;
  // Values are single lines; a file whose name or texts hold a line break is simply examined
  // again next time. Numbers are plain integers, free of any locale.
  const auto OneLine = [](const QString& AText) {
    return !AText.contains(QLatin1Char('\n')) && !AText.contains(QLatin1Char('\r'));
  };
  QString Text = QStringLiteral("; Plug-in files examined by vexmo-plugin-probe, by path, size "
                                "and modification time (ms since 1970).\n");
  int Number = 0;
  for (const auto& [Key, Entry] : FEntries) {
    const TPluginProbeResult& R = Entry.Result;
    if (!QFileInfo(Key.second).isFile() || !OneLine(Key.second) || !OneLine(R.Vendor) ||
        !OneLine(R.Effect) || !OneLine(R.Name) || !OneLine(R.Error))
      continue;
    Text += QStringLiteral("\n[Plugin%1]\n").arg(++Number);
    Text += QStringLiteral("Kind=%1\n").arg(QLatin1String(KindName(TPluginType(Key.first))));
    Text += QStringLiteral("Path=%1\n").arg(Key.second);
    Text += QStringLiteral("Size=%1\n").arg(Entry.Size);
    Text += QStringLiteral("Modified=%1\n").arg(Entry.Modified);
    Text += QStringLiteral("Status=%1\n").arg(QLatin1String(StatusName(R.Status)));
    if (R.Status == TPluginProbeResult::prOk) {
      Text += QStringLiteral("Vendor=") + R.Vendor + QStringLiteral("\nEffect=") + R.Effect +
              QStringLiteral("\nParams=") + QString::number(R.Params) + QStringLiteral("\nName=") +
              R.Name + QLatin1Char('\n');
    } else if (R.Status == TPluginProbeResult::prFailed) {
      Text += QStringLiteral("Error=%1\n").arg(R.Error);
    }
  }
  QSaveFile File(FFileName);
  if (!File.open(QIODevice::WriteOnly))
    return false;
  File.write(Text.toUtf8());
  if (!File.commit())
    return false;
  FChanged = false;
  return true;
}
