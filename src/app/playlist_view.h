// The playlist grid: a flat tree view over TPlaylistModel with whole-row selection, a header
// whose columns can be resized, reordered and hidden, and row dragging that the owner decides
// on (accept while dragging over, act on the drop).
#pragma once

#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <functional>

class TPlaylistModel;

// Draws the grid's rows: fixed row height, the selection colours of the grid, the grid lines.
class TPlaylistDelegate : public QStyledItemDelegate
{
  Q_OBJECT

public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void SetRowHeight(int AHeight) { FRowHeight = AHeight; }
  int RowHeight() const { return FRowHeight; }

  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
             const QModelIndex& AIndex) const override;

private:
  int FRowHeight = 0;
};

class TVirtualTreePlaylist : public QTreeView
{
  Q_OBJECT

public:
  static const QColor SelectionColor;         // selection while the grid has the focus, drop mark
  static const QColor InactiveSelectionColor; // selection otherwise
  static const QColor GridLineColor;

  explicit TVirtualTreePlaylist(QWidget* AParent = nullptr);

  TPlaylistModel* PlaylistModel() const;
  void SetPlaylistModel(TPlaylistModel* AModel);
  TPlaylistDelegate* Delegate() const { return FDelegate; }

  // The rows selected, in ascending order, and the topmost of them (-1 when none).
  QList<int> SelectedRows() const;
  int TopSelectedRow() const;
  void SelectRow(int ARow, bool AAdd = false);

  // Asked while a row is dragged over the grid: whether a drop is accepted now.
  std::function<bool()> OnDragOver;
  // A drop was made on the row ATargetRow (-1: not on a row).
  std::function<void(int ATargetRow)> OnDragDrop;

  // A context menu was asked for on the row ARow, to be shown at AGlobalPos: by the mouse on a
  // row (which the press has selected), or by the keyboard for the current row.
  std::function<void(int ARow, const QPoint& AGlobalPos)> OnRowMenu;

  // Whether a drop carrying this data would be taken (ours, and the owner agrees).
  bool AcceptsDrop(const QMimeData* AData) const;

  // The header's context menu: one check item per column. The last visible column cannot be
  // hidden.
  QMenu* CreateHeaderMenu(QWidget* AParent);

protected:
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void focusInEvent(QFocusEvent* AEvent) override;
  void focusOutEvent(QFocusEvent* AEvent) override;
  void startDrag(Qt::DropActions ASupportedActions) override;
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dragLeaveEvent(QDragLeaveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;
  void paintEvent(QPaintEvent* AEvent) override;
  void contextMenuEvent(QContextMenuEvent* AEvent) override;

private:
  // The row a drag is over, marked while the drag lasts (-1: none).
  void SetDropRow(int ARow);
  // While a drag is near the top or bottom edge the grid scrolls that way, and only vertically.
  void DragScroll(const QPoint& APos);
  void StopDragScroll();

  TPlaylistDelegate* FDelegate;
  QTimer* FDragScrollTimer;
  int FDragScrollStep = 0;
  int FDropRow = -1;
  bool FPressedOnEmpty = false;
};
