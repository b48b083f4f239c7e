// The microphone processing chain as it is stored in player.ini: the stage record and the
// ordered collection of stages. Only what is persisted lives here; running the stages is the
// DSP layer's business.
#pragma once

#include "settings/settings_record.h"

// Numbered from 0 in this order; stored by identifier.
enum TDSPType : int
{
  dspPlugin,
  dspIntegrated,
};
enum TIntDSPKind : int
{
  dspEqualizer,
  dspCompressor,
  dspGain,
};
enum TPluginType : int
{
  ptDSP, // Winamp DSP
  ptGEN, // listed, never run
  ptVST,
};
enum TPluginState : int
{
  psOff,
  psActive,
};

const TEnumType& EnumType(TDSPType);
const TEnumType& EnumType(TIntDSPKind);
const TEnumType& EnumType(TPluginType);
const TEnumType& EnumType(TPluginState);

// One stage of the chain.
class TDSPItemC : public TCollectionItem
{
public:
  TDSPItemC();
  ~TDSPItemC() override;

  QString ClassName() const override { return QStringLiteral("TDSPItemC"); }
  void DefineProperties(TPropertyList& AList) override;

  // Built-in effect or plug-in.
  TDSPType T() const { return FT; }
  void SetT(TDSPType AValue) { FT = AValue; }
  // Name shown in the chain and in the add dialog.
  QString DispName() const { return FDispName; }
  void SetDispName(const QString& AValue) { FDispName = AValue; }
  // Plug-in stages: Winamp DSP or VST.
  TPluginType PluginType() const { return FPluginType; }
  void SetPluginType(TPluginType AValue) { FPluginType = AValue; }
  // Winamp DSP: the file name inside the plug-in folder; VST: the full path.
  QString PluginPath() const { return FPluginPath; }
  void SetPluginPath(const QString& AValue) { FPluginPath = AValue; }
  // The stage's settings, one value per line.
  QStringList& Params() { return FParams; }
  const QStringList& Params() const { return FParams; }
  void SetParams(const QStringList& AValue) { FParams = AValue; }
  // psActive when the stage is switched on.
  TPluginState State() const { return FState; }
  void SetState(TPluginState AValue) { FState = AValue; }
  // Built-in stages: which effect.
  TIntDSPKind IntDSPKind() const { return FIntDSPKind; }
  void SetIntDSPKind(TIntDSPKind AValue) { FIntDSPKind = AValue; }
  // Preset last loaded or saved for this stage.
  QString PresetName() const { return FPresetName; }
  void SetPresetName(const QString& AValue) { FPresetName = AValue; }

  // The plug-in handle while loaded, 0 when none. Not persisted.
  quint32 H = 0;

protected:
  TDSPType FT = dspPlugin;
  QString FDispName;
  TPluginType FPluginType = ptDSP;
  QString FPluginPath;
  QStringList FParams;
  TPluginState FState = psOff;
  TIntDSPKind FIntDSPKind = dspEqualizer;
  QString FPresetName;
};

// The chain, in chain order; owns its stages.
class TDSPItemsC : public TOwnedCollection<TDSPItemC>
{};
