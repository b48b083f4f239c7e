#include "settings/eq_bands.h"

void TEQBandsBand::DefineProperties(TPropertyList& AList)
{
  TCollectionItem::DefineProperties(AList);
  AList.Integer("CenterFreq", &FCenterFreq);
}
