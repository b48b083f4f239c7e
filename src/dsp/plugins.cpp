#include "dsp/plugins.h"

#include "audio/bass_wadsp.h"
#include "base/data_folders.h"
#include "base/message_box.h"
#include "dsp/dsp_manager.h"
#include "dsp/plugin_probe.h"
#include "dsp/vst_binding.h"
#include "settings/system_ini.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <cfenv>
#include <map>
#include <vector>

namespace {

struct TPluginModule
{
  bool Setup = false;
  TSystemIniBase* Settings = nullptr;
  QString DataFolder;
  QString PluginFolder;
  quintptr MainWindow = 0;
  QString ConfirmText;
  TTranslateFormHook TranslateForm;
  TFormHook FormHook;
  std::unique_ptr<TPluginList> WinampDSPPlugins;
  std::unique_ptr<TPluginList> VSTPlugins;
};

TPluginModule& Module()
{
  static TPluginModule Instance;
  return Instance;
}

bool AllowWinamp()
{
  const TSystemIniBase* Settings = PluginSettings();
  return Settings && Settings->AllowWinampPlugins();
}

bool AllowVst()
{
  const TSystemIniBase* Settings = PluginSettings();
  return Settings && Settings->AllowVstPlugins();
}

// How deep below the VST folder plug-ins are looked for: plug-in packages install into a folder
// of their own, some with a folder per plug-in inside.
constexpr int VSTFolderDepth = 4;

struct TLinkedFolder
{
  QString Relative;
  int Depth = 0;
};

// Folders reached through links are searched after every real folder, so that a folder is named
// by its real path whenever it has one.
void ListTree(const QString& AFolder, const QString& ARelative, const QString& AMask, int ADepth,
              QSet<QString>& AVisited, QStringList& AList, std::vector<TLinkedFolder>& ALinks)
{
  // A folder reached twice (through a link, or a link back up) is searched once.
  const QString Canonical = QFileInfo(AFolder + ARelative).canonicalFilePath();
  if (Canonical.isEmpty() || AVisited.contains(Canonical))
    return;
  AVisited.insert(Canonical);
  QStringList Files;
  ListFiles(AFolder + ARelative, AMask, Files);
  for (const QString& File : Files)
    AList.append(ARelative + File);
  if (ADepth <= 0)
    return;
  const QStringList Folders =
      QDir(AFolder + ARelative)
          .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
  for (const QString& Folder : Folders) {
    const QString Relative = ARelative + Folder + QLatin1Char('/');
    if (QFileInfo(AFolder + ARelative + Folder).isSymLink())
      ALinks.push_back({Relative, ADepth - 1});
    else
      ListTree(AFolder, Relative, AMask, ADepth - 1, AVisited, AList, ALinks);
  }
}

// Looks each file up in the cache and examines the rest in a child process; stores what was
// found. When the child cannot run at all, AStartError says why.
std::vector<TPluginProbeResult> ProbeWithCache(TPluginType AKind, const QString& AFolder,
                                               const QStringList& AFiles, const QString& ABridge,
                                               QString& AStartError)
{
  TPluginProbeCache Cache(PresetBaseFolder());
  std::vector<TPluginProbeResult> Results(static_cast<size_t>(AFiles.size()));
  QStringList Unknown;
  std::vector<size_t> UnknownIndex;
  for (qsizetype i = 0; i < AFiles.size(); ++i) {
    if (!Cache.Find(AKind, AFolder + AFiles[i], Results[static_cast<size_t>(i)])) {
      Unknown.append(AFolder + AFiles[i]);
      UnknownIndex.push_back(static_cast<size_t>(i));
    }
  }
  if (Unknown.isEmpty())
    return Results;
  const auto Probed = ProbePluginFiles(AKind, Unknown, ABridge, &AStartError);
  for (size_t i = 0; i < Probed.size(); ++i) {
    Results[UnknownIndex[i]] = Probed[i];
    // A helper that could not run says nothing about the files.
    if (AStartError.isEmpty())
      Cache.Store(AKind, Unknown[qsizetype(i)], Probed[i]);
  }
  Cache.Save();
  return Results;
}

// Plug-ins built for other hosts may compute with values that trap when floating-point
// exceptions are unmasked; the program masks them all, for good (round to nearest).
void MaskFloatingPointExceptions()
{
  fedisableexcept(FE_ALL_EXCEPT);
  fesetround(FE_TONEAREST);
}

// The stages of every chain lose the handles of Winamp DSP plug-ins that were unloaded: the
// engine may hand those numbers out again.
void ForgetWinampHandles()
{
  for (TDSPManager* Manager : DSPManagers()) {
    TDSPItemsC* List = Manager->DSPList();
    if (!List)
      continue;
    for (int i = 0; i < List->Count(); ++i) {
      TDSPItemC* Item = List->Items(i);
      if (Item->T() == dspPlugin && Item->PluginType() == ptDSP)
        Item->H = 0;
    }
  }
}

TDSPItemC* AddBuiltIn(TDSPItemsC& AList, TIntDSPKind AKind, const QString& AName)
{
  TDSPItemC* Item = AList.Add();
  Item->SetT(dspIntegrated);
  Item->SetIntDSPKind(AKind);
  Item->SetDispName(AName);
  return Item;
}

void AddPlugins(TDSPItemsC& AList, const TPluginList* APlugins)
{
  if (!APlugins)
    return;
  for (const TPluginItem& Plugin : *APlugins) {
    TDSPItemC* Item = AList.Add();
    Item->SetT(dspPlugin);
    Item->SetDispName(Plugin.DisplayName);
    Item->SetPluginType(Plugin.T);
    Item->SetPluginPath(Plugin.Path);
    Item->H = Plugin.H;
  }
}

} // namespace

void SetupPlugins(TSystemIniBase* ASettings, const QString& ADataFolder,
                  const QString& APluginFolder, quintptr AMainWindow, const QString& AConfirmText,
                  TTranslateFormHook ATranslateForm, TFormHook AFormHook)
{
  TPluginModule& M = Module();
  M.Setup = true;
  M.Settings = ASettings;
  M.DataFolder = ADataFolder;
  M.PluginFolder = APluginFolder;
  M.MainWindow = AMainWindow;
  M.ConfirmText = AConfirmText;
  M.TranslateForm = std::move(ATranslateForm);
  M.FormHook = std::move(AFormHook);
}

TSystemIniBase* PluginSettings()
{
  const TPluginModule& M = Module();
  return M.Setup ? M.Settings : SystemIni;
}

QString PluginFolder()
{
  const TPluginModule& M = Module();
  return M.Setup ? M.PluginFolder : ProgramFolder() + QStringLiteral("Plugins/");
}

QString PresetBaseFolder()
{
  const TPluginModule& M = Module();
  return M.Setup ? M.DataFolder : DataFolder();
}

QString PluginConfirmText()
{
  return Module().ConfirmText;
}

quintptr PluginMainWindow()
{
  return Module().MainWindow;
}

const TTranslateFormHook& PluginTranslateFormHook()
{
  return Module().TranslateForm;
}

const TFormHook& PluginFormHook()
{
  return Module().FormHook;
}

void ListFiles(const QString& AFolder, const QString& AMask, QStringList& AList)
{
  if (AFolder.isEmpty())
    return;
  // Special files (pipes, sockets, devices) are left out: opening one as a library could block.
  AList += QDir(AFolder).entryList({AMask}, QDir::Files | QDir::Hidden, QDir::Unsorted);
}

QString VSTSearchFolder()
{
  TSystemIniBase* Settings = PluginSettings();
  if (!Settings)
    return {};
  QString Folder = Settings->VSTFolder().join(QLatin1Char('\n')).trimmed();
  if (!Folder.endsWith(QLatin1Char('/')))
    Folder += QLatin1Char('/');
  return Folder;
}

const TPluginList* WinampDSPPlugins()
{
  return Module().WinampDSPPlugins.get();
}

const TPluginList* VSTPlugins()
{
  return Module().VSTPlugins.get();
}

void ListFilesInTree(const QString& AFolder, const QString& AMask, int ADepth, QStringList& AList)
{
  if (AFolder.isEmpty())
    return;
  QSet<QString> Visited;
  std::vector<TLinkedFolder> Links;
  ListTree(AFolder, QString(), AMask, ADepth, Visited, AList, Links);
  for (size_t i = 0; i < Links.size(); ++i) {
    const TLinkedFolder Link = Links[i];
    ListTree(AFolder, Link.Relative, AMask, Link.Depth, Visited, AList, Links);
  }
}

namespace {

// What a scan has to say about the files that did not pass their probe, shown in one box: a line
// per file, and a single line for all of them when the probe helper itself could not run.
class TProbeReport
{
public:
  TProbeReport(QString AKind, QString AStartError)
      : FKind(std::move(AKind)), FStartError(std::move(AStartError))
  {}

  // True when the file is left out; AFormat takes the file name and the probe's error text.
  bool LeftOut(const QString& AFile, const TPluginProbeResult& AProbe, const QString& AFormat)
  {
    if (AProbe.Status != TPluginProbeResult::prFailed)
      return false;
    if (!FStartError.isEmpty() && AProbe.Error == FStartError)
      ++FUnexamined;
    else
      FErrors.append(AFormat.arg(AFile, AProbe.Error));
    return true;
  }

  void Show()
  {
    if (FUnexamined > 0)
      FErrors.append(QStringLiteral("Unable to examine the %1 plugins (%2 files): %3")
                         .arg(FKind, QString::number(FUnexamined), FStartError));
    if (!FErrors.isEmpty())
      MyMessageBox(FErrors.join(QLatin1Char('\n')), QStringLiteral("Error"), MB_ICONERROR);
  }

private:
  QString FKind;
  QString FStartError;
  QStringList FErrors;
  int FUnexamined = 0;
};

} // namespace

void LoadWinampDSPList()
{
  TPluginModule& M = Module();
  if (!AllowWinamp()) {
    BASS_WADSP_Free();
    if (M.WinampDSPPlugins)
      ForgetWinampHandles();
    M.WinampDSPPlugins.reset();
    return;
  }
  if (M.WinampDSPPlugins)
    return;
  M.WinampDSPPlugins = std::make_unique<TPluginList>();
  BASS_WADSP_Init(reinterpret_cast<HWND>(M.MainWindow));
  const QString Folder = PluginFolder();
  QStringList Files;
  ListFiles(Folder, QStringLiteral("dsp_*.so"), Files);
  // Each file is tried in a child process first; only what survived there is loaded here.
  QString StartError;
  const auto Probed = ProbeWithCache(ptDSP, Folder, Files, QString(), StartError);
  TProbeReport Report(QStringLiteral("Winamp DSP"), StartError);
  for (qsizetype i = 0; i < Files.size(); ++i) {
    const QString& File = Files[i];
    const TPluginProbeResult& Probe = Probed[static_cast<size_t>(i)];
    if (Report.LeftOut(File, Probe, QStringLiteral("Error loading Winamp DSP plugin (%1): %2")))
      continue;
    const HWADSP Handle =
        BASS_WADSP_Load(QFile::encodeName(Folder + File).constData(), 0, 0, 10, 10, nullptr);
    const char* Name = BASS_WADSP_GetName(Handle);
    TPluginItem Item;
    Item.DisplayName = QStringLiteral("(DSP) %1 [%2]").arg(QString::fromUtf8(Name), File);
    Item.Path = File;
    Item.T = ptDSP;
    Item.H = Handle;
    M.WinampDSPPlugins->push_back(Item);
  }
  Report.Show();
}

void LoadVSTList()
{
  TPluginModule& M = Module();
  if (!AllowVst()) {
    for (TDSPManager* Manager : DSPManagers())
      Manager->StopVST();
    M.VSTPlugins.reset();
    return;
  }
  if (M.VSTPlugins)
    return;
  // The empty list stays after a failure, so the message comes once per switching on.
  M.VSTPlugins = std::make_unique<TPluginList>();
  if (!BindVST()) {
    MyMessageBox(QStringLiteral("VST bridge load error"), QStringLiteral("Error"), MB_ICONERROR);
    return;
  }
  const QString Folder = VSTSearchFolder();
  QStringList Files;
  ListFilesInTree(Folder, QStringLiteral("*.so"), VSTFolderDepth, Files);
  MaskFloatingPointExceptions();
  // Plug-ins are loaded in a child process, never here: one that crashes or hangs is left out.
  QString StartError;
  const auto Probed = ProbeWithCache(ptVST, Folder, Files, VSTBridgePath(), StartError);

  // Where two plug-ins share a file name, the list shows their paths below the folder instead.
  std::map<QString, int> NameCount;
  for (qsizetype i = 0; i < Files.size(); ++i)
    if (Probed[static_cast<size_t>(i)].Status == TPluginProbeResult::prOk)
      ++NameCount[QFileInfo(Files[i]).fileName()];
  TProbeReport Report(QStringLiteral("VST"), StartError);
  for (qsizetype i = 0; i < Files.size(); ++i) {
    const QString& File = Files[i];
    const TPluginProbeResult& Probe = Probed[static_cast<size_t>(i)];
    if (Report.LeftOut(File, Probe, QStringLiteral("Error loading VST plugin (%1): %2 h=0")) ||
        Probe.Status != TPluginProbeResult::prOk)
      continue;
    const QString Name = QFileInfo(File).fileName();
    const QString Shown = NameCount[Name] > 1 ? File : Name;
    TPluginItem Item;
    Item.DisplayName = QStringLiteral("(VST) ") + Probe.Vendor + QLatin1Char(' ') + Probe.Effect +
                       QStringLiteral(" [") + Shown + QLatin1Char(']');
    Item.Path = Folder + File;
    Item.T = ptVST;
    Item.H = 0;
    M.VSTPlugins->push_back(Item);
  }
  Report.Show();
}

void FreePluginLists()
{
  TPluginModule& M = Module();
  if (M.WinampDSPPlugins) {
    BASS_WADSP_Free();
    ForgetWinampHandles();
  }
  M.WinampDSPPlugins.reset();
  M.VSTPlugins.reset();
}

void ShutDownPlugins()
{
  for (TDSPManager* Manager : DSPManagers()) {
    const TDSPItemsC* List = Manager->DSPList();
    for (int i = 0; List && i < List->Count(); ++i)
      Manager->StopDSP(i);
  }
  FreePluginLists();
}

std::unique_ptr<TDSPItemsC> GetAvailableDSPs()
{
  auto List = std::make_unique<TDSPItemsC>();
  AddBuiltIn(*List, dspEqualizer, QStringLiteral("Equalizer"));
  AddBuiltIn(*List, dspCompressor, QStringLiteral("Compressor"));
  AddBuiltIn(*List, dspGain, QStringLiteral("Gain"));
  LoadVSTList();
  LoadWinampDSPList();
  AddPlugins(*List, WinampDSPPlugins());
  AddPlugins(*List, VSTPlugins());
  return List;
}
