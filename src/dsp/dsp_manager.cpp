#include "dsp/dsp_manager.h"

#include "audio/bass_wadsp.h"
#include "base/message_box.h"
#include "dsp/dsp_params.h"
#include "dsp/integrated_dsp.h"
#include "dsp/plugins.h"
#include "dsp/vst_binding.h"
#include "settings/system_ini.h"

#include <exception>

namespace {

QList<TDSPManager*>& Registry()
{
  static QList<TDSPManager*> Managers;
  return Managers;
}

bool IsVST(const TDSPItemC& AItem)
{
  return AItem.T() == dspPlugin && AItem.PluginType() == ptVST;
}

bool IsWinampDSP(const TDSPItemC& AItem)
{
  return AItem.T() == dspPlugin && AItem.PluginType() == ptDSP;
}

// A stage of a switched-off kind must not come back when the chain restarts.
bool KindAllowed(const TDSPItemC& AItem)
{
  const TSystemIniBase* Settings = PluginSettings();
  if (IsVST(AItem))
    return Settings && Settings->AllowVstPlugins();
  if (IsWinampDSP(AItem))
    return Settings && Settings->AllowWinampPlugins();
  return true;
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

// The plug-in behind the handle still exists (a stale handle reads as no parameters at all,
// which must not wipe the stored ones).
bool HandleAlive(DWORD AHandle)
{
  BASS_VST_INFO Info{};
  return VST().GetInfo(AHandle, &Info) != 0;
}

} // namespace

TDSPManager::TDSPManager(const QString& AName) : FName(AName)
{
  Registry().append(this);
}

TDSPManager::~TDSPManager()
{
  Registry().removeAll(this);
}

TDSPItemC* TDSPManager::Item(int AIndex) const
{
  return FDSPList ? FDSPList->Items(AIndex) : nullptr;
}

void TDSPManager::Changed()
{
  if (FOnChange)
    FOnChange(this);
}

void TDSPManager::StartDSP(int AIndex)
{
  TDSPItemC* D = Item(AIndex);
  if (!D)
    return;
  if (D->T() == dspIntegrated) {
    D->SetState(psActive);
    if (TIntegratedDSPClass Class = IntegratedDSPClass(D->IntDSPKind())) {
      D->IntDsp = Class(D, FWorkChannel);
      D->IntDsp->SetDSP(D->State() == psActive);
      D->IntDsp->UpdateDSP();
    }
  } else if (!KindAllowed(*D)) {
    // Stays as the user left it; it runs once its kind is switched on and the chain restarts.
  } else if (D->PluginType() == ptDSP) {
    BASS_WADSP_Start(D->H, 0, 0);
    D->SetState(psActive);
    BASS_WADSP_ChannelSetDSP(D->H, FWorkChannel, DSPPriority);
  } else if (D->PluginType() == ptVST && VSTBound()) {
    const TVSTBridge& Bridge = VST();
    try {
      D->H = Bridge.ChannelSetDSP(FWorkChannel, D->PluginPath().utf16(), BASS_UNICODE, DSPPriority);
    } catch (...) {
      // No handle: the old one belongs to an instance that is gone.
      D->H = 0;
      MyMessageBox(QStringLiteral("Unable to start VST plugin (%1): %2")
                       .arg(D->PluginPath(), ExceptionText(std::current_exception())),
                   QString(), MB_ICONERROR);
    }
    if (D->H != 0) {
      D->SetState(psActive);
      BASS_VST_INFO Info{};
      Bridge.GetInfo(D->H, &Info);
      if (!SkipVSTSettings(D->PluginPath()))
        LoadVSTParams(*D);
    }
  }
  Changed();
}

void TDSPManager::StopDSP(int AIndex)
{
  TDSPItemC* D = Item(AIndex);
  if (!D)
    return;
  if (D->T() == dspIntegrated) {
    if (D->IntDsp) {
      D->IntDsp->SetDSP(false);
      D->IntDsp.reset();
    }
  } else if (D->PluginType() == ptDSP) {
    // The handle stays: it belongs to the loaded plug-in, not to this run of the stage.
    if (D->H != 0) {
      BASS_WADSP_ChannelRemoveDSP(D->H);
      BASS_WADSP_Stop(D->H);
    }
  } else if (D->PluginType() == ptVST) {
    if (VSTBound() && D->H != 0) {
      SaveVSTParams(*D);
      VST().ChannelRemoveDSP(FWorkChannel, D->H);
      D->Frm.reset();
      // The instance is gone; its number must not reach the bridge again.
      D->H = 0;
    }
  }
  Changed();
}

void TDSPManager::StartAllDSPs()
{
  if (!FDSPList)
    return;
  const TSystemIniBase* Settings = PluginSettings();
  if (Settings && Settings->AllowWinampPlugins()) {
    LoadWinampDSPList();
    if (const TPluginList* Plugins = WinampDSPPlugins())
      for (const TPluginItem& Plugin : *Plugins)
        for (int i = 0; i < FDSPList->Count(); ++i) {
          TDSPItemC* D = FDSPList->Items(i);
          if (IsWinampDSP(*D) && D->PluginPath().compare(Plugin.Path, Qt::CaseInsensitive) == 0)
            D->H = Plugin.H;
        }
  }
  if (Settings && Settings->AllowVstPlugins())
    BindVST();
  for (int i = 0; i < FDSPList->Count(); ++i)
    StopDSP(i);
  for (int i = 0; i < FDSPList->Count(); ++i)
    if (FDSPList->Items(i)->State() == psActive)
      StartDSP(i);
}

void TDSPManager::StopVST()
{
  if (!FDSPList)
    return;
  for (int i = 0; i < FDSPList->Count(); ++i)
    if (IsVST(*FDSPList->Items(i)))
      StopDSP(i);
}

void TDSPManager::SaveAllVSTParams()
{
  if (!FDSPList)
    return;
  for (int i = 0; i < FDSPList->Count(); ++i)
    if (TDSPItemC* D = FDSPList->Items(i); IsVST(*D))
      SaveVSTParams(*D);
}

void TDSPManager::SetSongTitle(const QString& AValue)
{
  FSongTitle = AValue;
  if (!FDSPList)
    return;
  const QByteArray Title = AValue.toLocal8Bit();
  for (int i = 0; i < FDSPList->Count(); ++i) {
    TDSPItemC* D = FDSPList->Items(i);
    if (!IsWinampDSP(*D))
      continue;
    BASS_WADSP_SetSongTitle(D->H, Title.constData());
    BASS_WADSP_SetFileName(D->H, Title.constData());
  }
}

bool TDSPManager::SkipVSTSettings(const QString& APath)
{
  const TSystemIniBase* Settings = PluginSettings();
  if (!Settings || Settings->VSTSkipSettings().isEmpty())
    return false;
  // Stored paths may carry either separator.
  const qsizetype Slash =
      std::max(APath.lastIndexOf(QLatin1Char('/')), APath.lastIndexOf(QLatin1Char('\\')));
  const QString FileName = APath.mid(Slash + 1);
  const QStringList Pieces = Settings->VSTSkipSettings().split(QLatin1Char(';'));
  for (const QString& Piece : Pieces)
    if (Piece.compare(FileName, Qt::CaseInsensitive) == 0)
      return true;
  return false;
}

const QList<TDSPManager*>& DSPManagers()
{
  return Registry();
}

void LoadVSTParams(TDSPItemC& AItem)
{
  if (!IsVST(AItem) || AItem.H == 0 || AItem.State() != psActive || !VSTBound())
    return;
  const TVSTBridge& Bridge = VST();
  const QStringList& Lines = AItem.Params();
  if (Bridge.GetParamCount(AItem.H) != Lines.size())
    return;
  for (int i = 0; i < Lines.size(); ++i)
    Bridge.SetParam(AItem.H, i, static_cast<float>(ParseParamFloat(Lines.at(i))));
}

void SaveVSTParams(TDSPItemC& AItem)
{
  // Whatever the switch says: the chain editor sets it off before it stops the stage, and the
  // values the user set in the plug-in must not be lost with the instance.
  if (!VSTBound() || !IsVST(AItem) || AItem.H == 0 || !HandleAlive(AItem.H))
    return;
  const TVSTBridge& Bridge = VST();
  QStringList Lines;
  const int Count = Bridge.GetParamCount(AItem.H);
  for (int i = 0; i < Count; ++i)
    Lines.append(FormatParamFloat(Bridge.GetParam(AItem.H, i)));
  AItem.SetParams(Lines);
}
