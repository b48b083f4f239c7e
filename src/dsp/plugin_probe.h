// Examining plug-in files in a child process (vexmo-plugin-probe in the program folder), so that
// a plug-in that crashes or hangs while it is loaded cannot take the program down, and a cache of
// the results in the data folder, so that unchanged files are not examined again.
#pragma once

#include "settings/dsp_items.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

struct TPluginProbeResult
{
  enum TStatus
  {
    // A usable plug-in.
    prOk,
    // No usable plug-in (no entry point, no effect): left out without a word.
    prNone,
    // Loading it crashed, hung, raised an error or was refused: left out with Error.
    prFailed,
  };
  TStatus Status = prFailed;
  // VST: the vendor and effect names and the parameter count; Winamp DSP: the name.
  QString Vendor;
  QString Effect;
  int Params = 0;
  QString Name;
  // Why it failed, in words ("it crashed (signal 11)").
  QString Error;
};

// Examines APaths (full paths) of one kind, in order; the results come in the same order. VST
// files are loaded through the bridge library ABridge. A file that crashes or does not answer
// within the time limit fails; the files after it are examined by a fresh child. When the child
// cannot be started at all, every result fails with the reason and AStartError is set.
std::vector<TPluginProbeResult> ProbePluginFiles(TPluginType AKind, const QStringList& APaths,
                                                 const QString& ABridge,
                                                 QString* AStartError = nullptr);

// The helper program: "vexmo-plugin-probe" in the program folder unless set otherwise (tests).
QString PluginProbeProgram();
void SetPluginProbeProgram(const QString& AProgram);
// How long one file may take, in milliseconds (10 s).
int PluginProbeTimeLimit();
void SetPluginProbeTimeLimit(int AMilliseconds);

// Results by kind, path, size and modification time, kept in "pluginprobe.ini" of a folder.
class TPluginProbeCache
{
public:
  // Reads AFolder + "pluginprobe.ini" (missing or damaged: empty).
  explicit TPluginProbeCache(const QString& AFolder);
  // The stored result for the file as it is on disk now; false when there is none or the file
  // changed since.
  bool Find(TPluginType AKind, const QString& APath, TPluginProbeResult& AResult) const;
  void Store(TPluginType AKind, const QString& APath, const TPluginProbeResult& AResult);
  // Writes the file when something was stored; entries of files that are gone are dropped.
  bool Save();
  QString FileName() const { return FFileName; }

private:
  struct TEntry
  {
    qint64 Size = 0;
    qint64 Modified = 0;
    TPluginProbeResult Result;
  };
  using TKey = std::pair<int, QString>;
  QString FFileName;
  std::map<TKey, TEntry> FEntries;
  bool FChanged = false;
};
