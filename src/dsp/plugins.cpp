#include "dsp/plugins.h"

#include "audio/bass_wadsp.h"
#include "base/data_folders.h"
#include "base/message_box.h"
#include "dsp/dsp_manager.h"
#include "dsp/vst_binding.h"
#include "settings/system_ini.h"

#include <QDir>
#include <cfenv>
#include <exception>

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

QString ExceptionText(std::exception_ptr AError)
{
  try {
    std::rethrow_exception(AError);
  } catch (const std::exception& E) {
    return QString::fromLocal8Bit(E.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
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
  for (const QString& File : Files) {
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
  const TVSTBridge& Bridge = VST();
  const HSTREAM Probe = BASS_StreamCreate(44100, 2, BASS_STREAM_DECODE, nullptr, nullptr);
  const QString Folder = VSTSearchFolder();
  QStringList Files;
  ListFiles(Folder, QStringLiteral("*.so"), Files);
  MaskFloatingPointExceptions();
  for (const QString& File : Files) {
    const QString Path = Folder + File;
    DWORD Handle = 0;
    try {
      Handle = Bridge.ChannelSetDSP(Probe, Path.utf16(), BASS_UNICODE, 1);
    } catch (...) {
      MyMessageBox(QStringLiteral("Error loading VST plugin (%1): %2 h=%3")
                       .arg(File, ExceptionText(std::current_exception()))
                       .arg(Handle),
                   QStringLiteral("Error"), MB_ICONERROR);
      continue;
    }
    if (Handle == 0)
      continue;
    BASS_VST_INFO Info{};
    Bridge.GetInfo(Handle, &Info);
    Bridge.ChannelRemoveDSP(Probe, Handle);
    // The record's texts are always terminated; the bound keeps a bad bridge from overrunning.
    const QString Vendor = QString::fromUtf8(Info.vendorName, qstrnlen(Info.vendorName, 80));
    const QString Effect = QString::fromUtf8(Info.effectName, qstrnlen(Info.effectName, 80));
    TPluginItem Item;
    Item.DisplayName = QStringLiteral("(VST) ") + Vendor + QLatin1Char(' ') + Effect +
                       QStringLiteral(" [") + File + QLatin1Char(']');
    Item.Path = Path;
    Item.T = ptVST;
    Item.H = 0;
    M.VSTPlugins->push_back(Item);
  }
  BASS_StreamFree(Probe);
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
