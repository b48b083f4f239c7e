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
TDSPItemC::~TDSPItemC() = default;

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
