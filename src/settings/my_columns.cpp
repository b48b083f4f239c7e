#include "settings/my_columns.h"

void TMyColumn::DefineProperties(TPropertyList& AList)
{
  TCollectionItem::DefineProperties(AList);
  AList.Integer("Width", &FWidth);
  AList.Integer("Pos", &FPos);
  AList.Boolean("Visible", &FVisible);
}
