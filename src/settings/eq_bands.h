// The equalizer band definitions kept in the system settings: one item per band, band 0 first.
#pragma once

#include "settings/settings_record.h"

class TEQBandsBand : public TCollectionItem
{
public:
  QString ClassName() const override { return QStringLiteral("TEQBandsBand"); }
  void DefineProperties(TPropertyList& AList) override;

  // Centre frequency in hertz.
  qint32 CenterFreq() const { return FCenterFreq; }
  void SetCenterFreq(qint32 AValue) { FCenterFreq = AValue; }

private:
  qint32 FCenterFreq = 0;
};

class TEQBands : public TOwnedCollection<TEQBandsBand>
{};
