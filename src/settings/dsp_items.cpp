#include "settings/dsp_items.h"

const TEnumType& EnumType(TDSPType)
{
  static const TEnumType Type{QStringLiteral("TDSPType"),
                              {QStringLiteral("dspPlugin"), QStringLiteral("dspIntegrated")}};
  return Type;
}

const TEnumType& EnumType(TIntDSPKind)
{
  static const TEnumType Type{
      QStringLiteral("TIntDSPKind"),
      {QStringLiteral("dspEqualizer"), QStringLiteral("dspCompressor"), QStringLiteral("dspGain")}};
  return Type;
}

const TEnumType& EnumType(TPluginType)
{
  static const TEnumType Type{
      QStringLiteral("TPluginType"),
      {QStringLiteral("ptDSP"), QStringLiteral("ptGEN"), QStringLiteral("ptVST")}};
  return Type;
}

const TEnumType& EnumType(TPluginState)
{
  static const TEnumType Type{QStringLiteral("TPluginState"),
                              {QStringLiteral("psOff"), QStringLiteral("psActive")}};
  return Type;
}

TDSPItemC::TDSPItemC() = default;
TDSPItemC::~TDSPItemC()
{
  // The window may refer to the effect object; it goes first.
  Frm.reset();
  IntDsp.reset();
}

void TDSPItemC::AssignTo(TDSPItemC* ADest) const
{
  if (!ADest || ADest == this)
    return;
  ADest->FT = FT;
  ADest->FDispName = FDispName;
  ADest->FPluginPath = FPluginPath;
  ADest->FPluginType = FPluginType;
  ADest->FIntDSPKind = FIntDSPKind;
  ADest->H = H;
}

void TDSPItemC::DefineProperties(TPropertyList& AList)
{
  TCollectionItem::DefineProperties(AList);
  AList.Enumeration("T", &FT);
  AList.StringList("Params", &FParams);
  AList.String(
      "DispName", [this] { return DispName(); },
      [this](const QString& AValue) { FDispName = AValue; });
  AList.String("PluginPath", &FPluginPath);
  AList.Enumeration("PluginType", &FPluginType);
  AList.Enumeration("State", &FState);
  AList.Enumeration("IntDSPKind", &FIntDSPKind);
  AList.String("PresetName", &FPresetName);
}

void TDSPItemsC::SetItems(int AIndex, const TDSPItemC* AValue)
{
  if (TDSPItemC* Item = Items(AIndex); Item && AValue)
    AValue->AssignTo(Item);
}
