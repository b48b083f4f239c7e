// Sound device descriptors: a device named by its driver interface and its identifier string,
// so that the choice survives restarts and changes in the order of the device list. They are
// items of the system settings' device collections (Inputs).
#pragma once

#include "settings/settings_record.h"

// Role of an output; inputs keep odMixer.
enum TOutputDevType : int
{
  odMixer,
  odRegular,
  odNotUsed,
};
const TEnumType& EnumType(TOutputDevType);

// Values of Method.
constexpr qint32 DeviceMethodUnconfigured = -2; // the microphone of a never configured system
constexpr qint32 DeviceMethodNone = -1;
constexpr qint32 DeviceMethodStandard = 0;
constexpr qint32 DeviceMethodWasapi = 1;
constexpr qint32 DeviceMethodAsio = 2;

// Markers stored in DeviceID.
inline const QString DefaultDeviceId = QStringLiteral(":default");
inline const QString DecodeDeviceId = QStringLiteral(":decode");

class TSoundDevice : public TCollectionItem
{
public:
  QString ClassName() const override { return QStringLiteral("TSoundDevice"); }
  void DefineProperties(TPropertyList& AList) override;

  TOutputDevType DevType() const { return FDevType; }
  void SetDevType(TOutputDevType AValue) { FDevType = AValue; }
  // Driver interface: 0 standard list, 1 WASAPI, 2 ASIO, -1 none, -2 never configured.
  qint32 Method() const { return FMethod; }
  void SetMethod(qint32 AValue) { FMethod = AValue; }
  // The device's identifier as its driver interface reports it, or a marker.
  QString DeviceID() const { return FDeviceID; }
  void SetDeviceID(const QString& AValue) { FDeviceID = AValue; }
  QString DeviceName2() const { return FDeviceName2; }
  void SetDeviceName2(const QString& AValue) { FDeviceName2 = AValue; }
  qint32 Chan1() const { return FChan1; }
  void SetChan1(qint32 AValue) { FChan1 = AValue; }
  qint32 Chan2() const { return FChan2; }
  void SetChan2(qint32 AValue) { FChan2 = AValue; }
  QString Chan1Name() const { return FChan1Name; }
  void SetChan1Name(const QString& AValue) { FChan1Name = AValue; }
  QString Chan2Name() const { return FChan2Name; }
  void SetChan2Name(const QString& AValue) { FChan2Name = AValue; }
  bool EventDriven() const { return FEventDriven; }
  void SetEventDriven(bool AValue) { FEventDriven = AValue; }

  // The system's default device of that direction (DeviceID ":default"). Setting true stores the
  // marker; setting false clears it, and leaves any other identifier alone.
  bool IsDefault() const { return FDeviceID == DefaultDeviceId; }
  void SetIsDefault(bool AValue);

  // In memory only.
  QString DisplayName() const { return FDisplayName; }
  void SetDisplayName(const QString& AValue) { FDisplayName = AValue; }

protected:
  TOutputDevType FDevType = odMixer;
  qint32 FMethod = 0;
  QString FDeviceID;
  QString FDeviceName2;
  qint32 FChan1 = 0;
  qint32 FChan2 = 0;
  QString FChan1Name;
  QString FChan2Name;
  bool FEventDriven = false;
  QString FDisplayName;
};

class TInputDevice : public TSoundDevice
{
public:
  TInputDevice() { FMethod = DeviceMethodNone; }

  QString ClassName() const override { return QStringLiteral("TInputDevice"); }
  void DefineProperties(TPropertyList& AList) override;

  qint32 MixerSrc() const { return FMixerSrc; }
  void SetMixerSrc(qint32 AValue) { FMixerSrc = AValue; }
  bool Stereo() const { return FStereo; }
  void SetStereo(bool AValue) { FStereo = AValue; }
  bool KeepAlive() const { return FKeepAlive; }
  void SetKeepAlive(bool AValue) { FKeepAlive = AValue; }

private:
  qint32 FMixerSrc = 0;
  bool FStereo = false;
  bool FKeepAlive = false;
};

class TInputDevicesList : public TOwnedCollection<TInputDevice>
{};
