#include "app/column_layout.h"

#include "settings/my_columns.h"

#include <QHeaderView>
#include <QTreeView>
#include <vector>

namespace {

// A hidden section reports a size of 0; its width is what it gets back when shown again.
int ColumnWidth(const QHeaderView* AHeader, int ALogical)
{
  if (!AHeader->isSectionHidden(ALogical))
    return AHeader->sectionSize(ALogical);
  auto* Header = const_cast<QHeaderView*>(AHeader);
  const bool Blocked = Header->blockSignals(true);
  Header->showSection(ALogical);
  const int Width = Header->sectionSize(ALogical);
  Header->hideSection(ALogical);
  Header->blockSignals(Blocked);
  return Width;
}

} // namespace

void SaveColumnLayout(const QHeaderView* AHeader, TMyColumns& AColumns)
{
  AColumns.Clear();
  for (int I = 0; I < AHeader->count(); ++I) {
    TMyColumn* Item = AColumns.Add();
    Item->SetWidth(ColumnWidth(AHeader, I));
    Item->SetPos(AHeader->visualIndex(I));
    Item->SetVisible(!AHeader->isSectionHidden(I));
  }
}

bool RestoreColumnLayout(QTreeView* AGrid, TMyColumns& AColumns)
{
  QHeaderView* Header = AGrid->header();
  const int N = Header->count();
  int M = AColumns.Count();
  if (N < M)
    return false;
  while (M < N) {
    TMyColumn* Item = AColumns.Add();
    Item->SetVisible(!Header->isSectionHidden(M));
    Item->SetWidth(ColumnWidth(Header, M));
    Item->SetPos(M);
    ++M;
  }

  std::vector<int> LogicalAt(size_t(N), -1);
  for (int I = 0; I < N; ++I) {
    const int Pos = AColumns.Items(I)->Pos();
    if (Pos < 0 || Pos >= N || LogicalAt[size_t(Pos)] != -1)
      return false;
    LogicalAt[size_t(Pos)] = I;
  }

  const bool Updates = Header->updatesEnabled();
  Header->setUpdatesEnabled(false);
  for (int I = 0; I < N; ++I)
    Header->setSectionHidden(I, !AColumns.Items(I)->Visible());
  // Filling the display positions from the left puts every column where it belongs.
  for (int V = 0; V < N; ++V) {
    const int From = Header->visualIndex(LogicalAt[size_t(V)]);
    if (From != V)
      Header->moveSection(From, V);
  }
  for (int I = 0; I < N; ++I) {
    // A hidden section keeps the width for when it is shown again.
    const int Width = AColumns.Items(I)->Width();
    if (Width >= 0)
      Header->resizeSection(I, Width);
  }
  Header->setUpdatesEnabled(Updates);

  int Main = 0;
  for (int V = 0; V < N; ++V) {
    const int Logical = Header->logicalIndex(V);
    if (!Header->isSectionHidden(Logical)) {
      Main = Logical;
      break;
    }
  }
  AGrid->setTreePosition(Main);
  return true;
}
