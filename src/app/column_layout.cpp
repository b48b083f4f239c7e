#include "app/column_layout.h"

#include "api/start_time.h"
#include "app/playlist_model.h"
#include "settings/my_columns.h"
#include "ui_common/screen_utils.h"

#include <QEvent>
#include <QHeaderView>
#include <QPointer>
#include <QStyle>
#include <QTime>
#include <QTreeView>
#include <vector>

namespace {

// Designed widths of the grid's columns, in 96-DPI units.
constexpr int CColumnWidths[TPlaylistModel::ColumnCount] = {60, 90, 300, 60};

// Gives one column the grid's spare width (see SetUpPlaylistColumns). Lives on the header, where
// the layout's save finds it.
class TSpareWidthFiller : public QObject
{
  Q_OBJECT

public:
  TSpareWidthFiller(QTreeView* AGrid, int AColumn)
      : QObject(AGrid->header()), FGrid(AGrid), FColumn(AColumn),
        FOwnWidth(AGrid->header()->sectionSize(AColumn))
  {
    QHeaderView* Header = AGrid->header();
    connect(Header, &QHeaderView::sectionResized, this, &TSpareWidthFiller::SectionResized);
    AGrid->viewport()->installEventFilter(this);
  }

  int Column() const { return FColumn; }
  int OwnWidth() const { return FOwnWidth; }

  // Widens the column to fill the grid, or narrows it, not below its own width, to make room.
  void Fit()
  {
    if (!FGrid)
      return;
    QHeaderView* Header = FGrid->header();
    if (Header->isSectionHidden(FColumn) || FColumn >= Header->count())
      return;
    int Others = 0;
    for (int I = 0; I < Header->count(); ++I)
      if (I != FColumn && !Header->isSectionHidden(I))
        Others += Header->sectionSize(I);
    const int Wanted = qMax(FOwnWidth, FGrid->viewport()->width() - Others);
    if (Wanted == Header->sectionSize(FColumn))
      return;
    FFitting = true;
    Header->resizeSection(FColumn, Wanted);
    FFitting = false;
  }

protected:
  bool eventFilter(QObject* AObject, QEvent* AEvent) override
  {
    if (AEvent->type() == QEvent::Resize && FGrid && AObject == FGrid->viewport())
      Fit();
    return QObject::eventFilter(AObject, AEvent);
  }

private:
  void SectionResized(int ALogical, int AOldSize, int ANewSize)
  {
    if (FFitting)
      return;
    if (ALogical == FColumn) {
      // Hiding and showing pass through 0; only a real width is the column's own. The user's
      // width stands until the window or another column changes.
      if (AOldSize > 0 && ANewSize > 0)
        FOwnWidth = ANewSize;
      return;
    }
    Fit();
  }

  QPointer<QTreeView> FGrid;
  int FColumn;
  int FOwnWidth;
  bool FFitting = false;
};

TSpareWidthFiller* Filler(const QHeaderView* AHeader)
{
  return AHeader->findChild<TSpareWidthFiller*>(QString(), Qt::FindDirectChildrenOnly);
}

// The widest of ATexts drawn in the grid's font made bold, with the margins an item view keeps
// around a cell's text.
int BoldTextWidth(const QTreeView* AGrid, const QStringList& ATexts)
{
  QFont Bold = AGrid->font();
  Bold.setBold(true);
  const QFontMetrics Metrics(Bold);
  int Widest = 0;
  for (const QString& Text : ATexts)
    Widest = qMax(Widest, Metrics.horizontalAdvance(Text));
  const int Margin = AGrid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, AGrid) + 1;
  // One pixel more for the grid line drawn on the cell's right edge.
  return Widest + 2 * Margin + 1;
}

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

void SetUpPlaylistColumns(QTreeView* AGrid, const QLocale& ALocale)
{
  // The texts each column can show at its widest: four-digit positions, the start time in the
  // user's format at its widest hours (morning and evening, for formats with AM and PM), and
  // durations up to hours.
  const TStartTimeFormat StartTimes(ALocale);
  QStringList Times;
  for (const char* Time : {"23:59:59", "11:59:59", "20:08:08", "08:08:08"})
    Times << StartTimes.Format(QString::fromLatin1(Time));
  const QStringList Samples[TPlaylistModel::ColumnCount] = {
      {QStringLiteral("9999")},
      Times,
      {},
      {QStringLiteral("59:59"), QStringLiteral("8:08:08")},
  };
  QHeaderView* Header = AGrid->header();
  for (int I = 0; I < TPlaylistModel::ColumnCount && I < Header->count(); ++I)
    Header->resizeSection(I, qMax(ScaleForDpi(CColumnWidths[I]), BoldTextWidth(AGrid, Samples[I])));
  if (!Filler(Header) && TPlaylistModel::colTitle < Header->count())
    new TSpareWidthFiller(AGrid, TPlaylistModel::colTitle);
}

void SaveColumnLayout(const QHeaderView* AHeader, TMyColumns& AColumns)
{
  const TSpareWidthFiller* Fill = Filler(AHeader);
  AColumns.Clear();
  for (int I = 0; I < AHeader->count(); ++I) {
    TMyColumn* Item = AColumns.Add();
    // The filling column's own width, not what the window's size lent it.
    const bool Filling = Fill && Fill->Column() == I && !AHeader->isSectionHidden(I);
    Item->SetWidth(Filling ? Fill->OwnWidth() : ColumnWidth(AHeader, I));
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

  // A column that may be shown needs a width it can be seen at.
  const int Usable = Header->minimumSectionSize();
  bool AnyVisible = false;
  for (int I = 0; I < N; ++I)
    AnyVisible = AnyVisible || AColumns.Items(I)->Visible();

  const bool Updates = Header->updatesEnabled();
  Header->setUpdatesEnabled(false);
  // A grid with no column shown has nothing to click to show one again.
  if (AnyVisible)
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
    if (Width >= Usable)
      Header->resizeSection(I, Width);
  }
  Header->setUpdatesEnabled(Updates);
  if (TSpareWidthFiller* Fill = Filler(Header))
    Fill->Fit();

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

#include "column_layout.moc"
