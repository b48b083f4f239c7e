// The capture endpoints the user can pick a microphone from.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One listed endpoint's display name with the device index it has in the sound endpoint list
// (BASS_WASAPI_GetDeviceInfo). Two endpoints may share a name; the identifier tells them apart.
struct TCaptureEndpointName
{
  QString Name;
  quint32 DeviceIndex = 0;
};
using TCaptureEndpointNames = QList<TCaptureEndpointName>;

// Appends the enabled capture endpoints (inputs that are not the loopback of an output) to ANames
// and their identifiers, in the same order, to AIds; AIds is cleared first. A position in the two
// lists is not the device index: the attached index and the identifier identify an endpoint.
// With no sound server both lists stay as they were left (AIds empty) and the result is false,
// so that the caller can tell the user why there is nothing to choose; true otherwise, also
// when the server has no capture endpoint.
bool ListCaptureEndpoints(TCaptureEndpointNames& ANames, QStringList& AIds);
