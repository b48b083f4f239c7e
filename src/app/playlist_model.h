// The playlist grid's rows: row i holds an index into the main window's list (the list itself
// stays with the window). Rows live on their own, so that a refresh with the same number of
// entries can point the existing rows at the new entries and keep selection and scroll position.
#pragma once

#include "api/playlist_item.h"

#include <QAbstractTableModel>
#include <vector>

// An entry as the presenter aimed at it. The station addresses entries by position, and
// positions change under a live log; an entry is known by its title and duration instead, and
// among equal ones by the one nearest to the row where it was.
struct TEntryRef
{
  QString Title;
  QString Duration;
  int Row = -1; // where it was, 0-based; -1: no entry

  bool IsValid() const { return Row >= 0; }
};

enum TFindResult
{
  frFound,
  frGone,     // no entry with that title and duration
  frAmbiguous // two equal entries equally near to where it was: cannot be told apart
};

// The entry of AList that ARef means, or -1 (with the reason in AResult).
int FindEntry(const TPlaylist& AList, const TEntryRef& ARef, TFindResult* AResult = nullptr);

class TPlaylistModel : public QAbstractTableModel
{
  Q_OBJECT

public:
  enum TColumn
  {
    colPosition,
    colStartTime,
    colTitle,
    colDuration,
    ColumnCount
  };
  // What a drag carries: the dragged row, in this process only.
  static const char* const RowMimeType;

  explicit TPlaylistModel(QObject* AParent = nullptr);

  // The list the rows point into; nullptr shows empty texts. The rows are not touched.
  void SetList(const TPlaylist* AList);
  const TPlaylist* List() const { return FList; }

  // Points row i at entry i for every existing row and repaints; rows, selection and focus stay.
  void RepointRows();
  // Deletes every row and appends one per entry of the list, in list order.
  void RebuildRows();

  // The 1-based position of the entry on air; its row is drawn bold. 0, -1 or a position past
  // the last row marks none.
  void SetPlayingPos(int APos);
  int PlayingPos() const { return FPlayingPos; }
  bool IsPlayingRow(int ARow) const;

  // The entry a row shows, or nullptr.
  const TPlaylistItem* ItemAt(int ARow) const;
  // The entry a row shows as a reference that survives refreshes (invalid for no entry).
  TEntryRef RefAt(int ARow) const;

  // A list that could not be refreshed is still shown, greyed.
  void SetStale(bool AStale);
  bool IsStale() const { return FStale; }
  // Tells the view that the texts of two rows changed (after a swap of their entries).
  void RowsChanged(int ARow1, int ARow2);

  int rowCount(const QModelIndex& AParent = {}) const override;
  int columnCount(const QModelIndex& AParent = {}) const override;
  QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
  QVariant headerData(int ASection, Qt::Orientation AOrientation,
                      int ARole = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& AIndexes) const override;

private:
  const TPlaylist* FList = nullptr;
  std::vector<int> FRows;
  int FPlayingPos = -1;
  bool FStale = false;
};
