#include "settings/sound_devices.h"

const TEnumType& EnumType(TOutputDevType)
{
  static const TEnumType Type{
      QStringLiteral("TOutputDevType"),
      {QStringLiteral("odMixer"), QStringLiteral("odRegular"), QStringLiteral("odNotUsed")}};
  return Type;
}

void TSoundDevice::DefineProperties(TPropertyList& AList)
{
  TCollectionItem::DefineProperties(AList);
  AList.Enumeration("DevType", &FDevType);
  AList.Integer("Method", &FMethod);
  AList.String("DeviceID", &FDeviceID);
  AList.String("DeviceName2", &FDeviceName2);
  AList.Integer("Chan1", &FChan1, 0);
  AList.Integer("Chan2", &FChan2, 0);
  AList.String("Chan1Name", &FChan1Name);
  AList.String("Chan2Name", &FChan2Name);
  AList.Boolean("EventDriven", &FEventDriven, false);
}

void TSoundDevice::SetIsDefault(bool AValue)
{
  if (AValue)
    FDeviceID = DefaultDeviceId;
  else if (IsDefault())
    FDeviceID.clear();
}

void TInputDevice::DefineProperties(TPropertyList& AList)
{
  TSoundDevice::DefineProperties(AList);
  AList.Integer("MixerSrc", &FMixerSrc);
  AList.Boolean("Stereo", &FStereo);
  AList.Boolean("KeepAlive", &FKeepAlive);
}
