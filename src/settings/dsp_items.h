// The microphone processing chain as it is stored in player.ini: the stage record and the
// ordered collection of stages. Only what is persisted lives here; running the stages is the
// DSP layer's business.
#pragma once

#include "settings/settings_record.h"

#include <QObject>
#include <QtGlobal>
#include <memory>

// The running built-in effect of a stage (dsp/integrated_dsp.h). Its class belongs to the layer
// that runs the chain, so the pointer carries the deleter that layer gives it: destroying a
// stage then frees its effect object without this layer knowing the class.
class TIntegratedDSP;
using TIntegratedDSPPtr = std::unique_ptr<TIntegratedDSP, void (*)(TIntegratedDSP*)>;

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

  // Copies what identifies the stage (T, DispName, PluginPath, PluginType, IntDSPKind) and the
  // handle H onto ADest. Params, State and PresetName are not copied, so a stage taken from the
  // add dialog starts switched off, without settings and without a preset name.
  void AssignTo(TDSPItemC* ADest) const;

  // Not persisted: what the stage holds while it runs.
  // The plug-in handle while loaded, 0 when none.
  quint32 H = 0;
  // The running built-in effect, or none.
  TIntegratedDSPPtr IntDsp{nullptr, nullptr};
  // The open VST parameter window (a widget of the DSP windows), or none.
  std::unique_ptr<QObject> Frm;

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

// The chain, in chain order; owns its stages. Add appends a new stage (switched off, no
// settings); Items reads one.
class TDSPItemsC : public TOwnedCollection<TDSPItemC>
{
public:
  // Replaces the stage at AIndex by a copy of AValue, with the copying rules of AssignTo.
  // Out-of-range indexes and a missing value do nothing.
  void SetItems(int AIndex, const TDSPItemC* AValue);
};
