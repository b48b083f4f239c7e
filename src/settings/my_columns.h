// The playlist grid's column layout as it is kept in the connection settings: one item per grid
// column in column index order. Taking the layout from the grid and applying it belongs to the
// main window.
#pragma once

#include "settings/settings_record.h"

class TMyColumn : public TCollectionItem
{
public:
  QString ClassName() const override { return QStringLiteral("TMyColumn"); }
  void DefineProperties(TPropertyList& AList) override;

  // Width in pixels.
  qint32 Width() const { return FWidth; }
  void SetWidth(qint32 AValue) { FWidth = AValue; }
  // Display position, 0 = leftmost; -1 in a new item.
  qint32 Pos() const { return FPos; }
  void SetPos(qint32 AValue) { FPos = AValue; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool AValue) { FVisible = AValue; }

private:
  qint32 FWidth = 0;
  qint32 FPos = -1;
  bool FVisible = false;
};

class TMyColumns : public TOwnedCollection<TMyColumn>
{};
