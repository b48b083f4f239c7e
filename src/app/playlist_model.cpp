#include "app/playlist_model.h"

#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QMimeData>

const char* const TPlaylistModel::RowMimeType = "application/x-vexmo-playlist-row";

int FindEntry(const TPlaylist& AList, const TEntryRef& ARef, TFindResult* AResult)
{
  int Best = -1;
  int BestDistance = 0;
  bool Tie = false;
  if (ARef.IsValid())
    for (int I = 0; I < int(AList.size()); ++I) {
      const TPlaylistItem& Item = AList[size_t(I)];
      if (Item.Title != ARef.Title || Item.Duration != ARef.Duration)
        continue;
      const int Distance = qAbs(I - ARef.Row);
      if (Best < 0 || Distance < BestDistance) {
        Best = I;
        BestDistance = Distance;
        Tie = false;
      } else if (Distance == BestDistance) {
        Tie = true;
      }
    }
  const TFindResult Result = Best < 0 ? frGone : Tie ? frAmbiguous : frFound;
  if (AResult)
    *AResult = Result;
  return Result == frFound ? Best : -1;
}

TPlaylistModel::TPlaylistModel(QObject* AParent) : QAbstractTableModel(AParent) {}

void TPlaylistModel::SetList(const TPlaylist* AList)
{
  FList = AList;
}

void TPlaylistModel::RepointRows()
{
  // Every row may show other texts now, but no row moves: a layout change keeps selection and
  // scroll position, and costs views far less than a change notice for every row would.
  Q_EMIT layoutAboutToBeChanged();
  for (size_t I = 0; I < FRows.size(); ++I)
    FRows[I] = int(I);
  Q_EMIT layoutChanged();
}

void TPlaylistModel::RebuildRows()
{
  beginResetModel();
  const int Count = FList ? int(FList->size()) : 0;
  FRows.resize(size_t(Count));
  for (int I = 0; I < Count; ++I)
    FRows[size_t(I)] = I;
  endResetModel();
}

void TPlaylistModel::SetPlayingPos(int APos)
{
  if (APos == FPlayingPos)
    return;
  const int Old = FPlayingPos;
  FPlayingPos = APos;
  // Only the two rows whose look changes are repainted.
  for (int Pos : {Old, APos})
    if (Pos >= 1 && Pos <= rowCount())
      Q_EMIT dataChanged(index(Pos - 1, 0), index(Pos - 1, ColumnCount - 1), {Qt::FontRole});
}

bool TPlaylistModel::IsPlayingRow(int ARow) const
{
  return FPlayingPos >= 1 && ARow + 1 == FPlayingPos && ARow < rowCount();
}

const TPlaylistItem* TPlaylistModel::ItemAt(int ARow) const
{
  if (!FList || ARow < 0 || size_t(ARow) >= FRows.size())
    return nullptr;
  const int Index = FRows[size_t(ARow)];
  if (Index < 0 || size_t(Index) >= FList->size())
    return nullptr;
  return &(*FList)[size_t(Index)];
}

TEntryRef TPlaylistModel::RefAt(int ARow) const
{
  const TPlaylistItem* Item = ItemAt(ARow);
  if (!Item)
    return {};
  return {Item->Title, Item->Duration, ARow};
}

void TPlaylistModel::SetStale(bool AStale)
{
  if (AStale == FStale)
    return;
  FStale = AStale;
  if (rowCount() > 0)
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                       {Qt::ForegroundRole, Qt::AccessibleDescriptionRole});
}

void TPlaylistModel::RowsChanged(int ARow1, int ARow2)
{
  for (int Row : {ARow1, ARow2})
    if (Row >= 0 && Row < rowCount())
      Q_EMIT dataChanged(index(Row, 0), index(Row, ColumnCount - 1));
}

int TPlaylistModel::rowCount(const QModelIndex& AParent) const
{
  return AParent.isValid() ? 0 : int(FRows.size());
}

int TPlaylistModel::columnCount(const QModelIndex& AParent) const
{
  return AParent.isValid() ? 0 : ColumnCount;
}

QVariant TPlaylistModel::data(const QModelIndex& AIndex, int ARole) const
{
  if (!AIndex.isValid())
    return {};
  if (ARole == Qt::DisplayRole) {
    if (AIndex.column() == colPosition)
      return QString::number(AIndex.row() + 1);
    const TPlaylistItem* Item = ItemAt(AIndex.row());
    if (!Item)
      return QString();
    switch (AIndex.column()) {
    case colStartTime:
      return Item->StartTime;
    case colTitle:
      return Item->Title;
    case colDuration:
      return Item->Duration;
    default:
      return {};
    }
  }
  if (ARole == Qt::FontRole && IsPlayingRow(AIndex.row())) {
    // Only the weight is set, so the view's own font supplies everything else.
    QFont Bold;
    Bold.setBold(true);
    return Bold;
  }
  if (ARole == Qt::ForegroundRole && FStale)
    return QColor(Qt::gray);
  if (ARole == Qt::AccessibleDescriptionRole) {
    QStringList Parts;
    if (IsPlayingRow(AIndex.row()))
      Parts << QStringLiteral("On air");
    if (FStale)
      Parts << QStringLiteral("Not current");
    if (!Parts.isEmpty())
      return Parts.join(QStringLiteral(", "));
  }
  return {};
}

QVariant TPlaylistModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const
{
  if (AOrientation != Qt::Horizontal)
    return {};
  if (ARole == Qt::DisplayRole || ARole == Qt::ToolTipRole) {
    switch (ASection) {
    case colPosition:
      return QStringLiteral("#");
    case colStartTime:
      return QStringLiteral("Start Time");
    case colTitle:
      return QStringLiteral("Track Title");
    case colDuration:
      return QStringLiteral("Duration");
    default:
      return {};
    }
  }
  return {};
}

Qt::ItemFlags TPlaylistModel::flags(const QModelIndex& AIndex) const
{
  if (!AIndex.isValid())
    return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled |
         Qt::ItemNeverHasChildren;
}

Qt::DropActions TPlaylistModel::supportedDragActions() const
{
  return Qt::MoveAction;
}

Qt::DropActions TPlaylistModel::supportedDropActions() const
{
  return Qt::MoveAction;
}

QStringList TPlaylistModel::mimeTypes() const
{
  return {QLatin1String(RowMimeType)};
}

QMimeData* TPlaylistModel::mimeData(const QModelIndexList& AIndexes) const
{
  if (AIndexes.isEmpty())
    return nullptr;
  auto* Data = new QMimeData;
  // The process id keeps a drag from another running copy of the program from being taken for
  // one of ours.
  Data->setData(QLatin1String(RowMimeType), QByteArray::number(QCoreApplication::applicationPid()) +
                                                ' ' + QByteArray::number(AIndexes.first().row()));
  return Data;
}
