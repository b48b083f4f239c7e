#include "app/playlist_view.h"

#include "app/playlist_model.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

const QColor TVirtualTreePlaylist::SelectionColor(0x91, 0xC2, 0xEA);
const QColor TVirtualTreePlaylist::InactiveSelectionColor(0xCC, 0xCC, 0xCC);
const QColor TVirtualTreePlaylist::GridLineColor(0xF3, 0xF3, 0xF3);

QSize TPlaylistDelegate::sizeHint(const QStyleOptionViewItem& AOption,
                                  const QModelIndex& AIndex) const
{
  QSize Size = QStyledItemDelegate::sizeHint(AOption, AIndex);
  if (FRowHeight > 0)
    Size.setHeight(FRowHeight);
  return Size;
}

void TPlaylistDelegate::paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
                              const QModelIndex& AIndex) const
{
  QStyleOptionViewItem Option(AOption);
  // The selection shows whether the grid has the keyboard, not whether the window is active.
  const QWidget* View = AOption.widget;
  const bool Focused = View && View->hasFocus() && View->isActiveWindow();
  const QColor Selection =
      Focused ? TVirtualTreePlaylist::SelectionColor : TVirtualTreePlaylist::InactiveSelectionColor;
  for (QPalette::ColorGroup Group : {QPalette::Active, QPalette::Inactive}) {
    Option.palette.setColor(Group, QPalette::Highlight, Selection);
    // A stale list stays grey when selected too.
    const QVariant Foreground = AIndex.data(Qt::ForegroundRole);
    Option.palette.setColor(Group, QPalette::HighlightedText,
                            Foreground.isValid() ? Foreground.value<QColor>() : QColor(Qt::black));
  }
  QStyledItemDelegate::paint(APainter, Option, AIndex);
  APainter->save();
  APainter->setPen(TVirtualTreePlaylist::GridLineColor);
  const QRect R = AOption.rect;
  APainter->drawLine(R.bottomLeft(), R.bottomRight());
  APainter->drawLine(R.topRight(), R.bottomRight());
  APainter->restore();
}

TVirtualTreePlaylist::TVirtualTreePlaylist(QWidget* AParent)
    : QTreeView(AParent), FDelegate(new TPlaylistDelegate(this)), FDragScrollTimer(new QTimer(this))
{
  setItemDelegate(FDelegate);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setFrameShape(QFrame::NoFrame);
  setDragEnabled(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  // A drop lands on a row, never between rows; the row is marked by paintEvent.
  setDropIndicatorShown(false);
  setDragDropOverwriteMode(true);
  setDefaultDropAction(Qt::MoveAction);
  // The built-in scrolling while dragging goes both ways; ours only up and down.
  setAutoScroll(false);
  FDragScrollTimer->setInterval(50);
  connect(FDragScrollTimer, &QTimer::timeout, this, [this] {
    QScrollBar* Bar = verticalScrollBar();
    Bar->setValue(Bar->value() + FDragScrollStep);
  });
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  QHeaderView* Header = header();
  Header->setSectionsMovable(true);
  Header->setSectionResizeMode(QHeaderView::Interactive);
  Header->setStretchLastSection(false);
  Header->setHighlightSections(false);
  Header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Header, &QWidget::customContextMenuRequested, this, [this](const QPoint& APos) {
    QMenu* Menu = CreateHeaderMenu(this);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    Menu->popup(header()->viewport()->mapToGlobal(APos));
  });
}

TPlaylistModel* TVirtualTreePlaylist::PlaylistModel() const
{
  return qobject_cast<TPlaylistModel*>(model());
}

void TVirtualTreePlaylist::SetPlaylistModel(TPlaylistModel* AModel)
{
  setModel(AModel);
}

QList<int> TVirtualTreePlaylist::SelectedRows() const
{
  QList<int> Rows;
  if (!selectionModel())
    return Rows;
  for (const QModelIndex& Index : selectionModel()->selectedRows())
    Rows << Index.row();
  std::sort(Rows.begin(), Rows.end());
  return Rows;
}

int TVirtualTreePlaylist::TopSelectedRow() const
{
  const QList<int> Rows = SelectedRows();
  return Rows.isEmpty() ? -1 : Rows.first();
}

void TVirtualTreePlaylist::SelectRow(int ARow, bool AAdd)
{
  if (!model() || ARow < 0 || ARow >= model()->rowCount())
    return;
  const QModelIndex Index = model()->index(ARow, 0);
  QItemSelectionModel::SelectionFlags Flags =
      (AAdd ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
      QItemSelectionModel::Rows;
  selectionModel()->setCurrentIndex(Index, Flags);
}

bool TVirtualTreePlaylist::AcceptsDrop(const QMimeData* AData) const
{
  if (!AData || !AData->hasFormat(QLatin1String(TPlaylistModel::RowMimeType)))
    return false;
  const QList<QByteArray> Parts =
      AData->data(QLatin1String(TPlaylistModel::RowMimeType)).split(' ');
  if (Parts.isEmpty() || Parts.first().toLongLong() != QCoreApplication::applicationPid())
    return false;
  return !OnDragOver || OnDragOver();
}

QMenu* TVirtualTreePlaylist::CreateHeaderMenu(QWidget* AParent)
{
  auto* Menu = new QMenu(AParent);
  QHeaderView* Header = header();
  int Visible = 0;
  for (int I = 0; I < Header->count(); ++I)
    if (!Header->isSectionHidden(I))
      ++Visible;
  // In display order, as the user sees the columns.
  for (int V = 0; V < Header->count(); ++V) {
    const int Logical = Header->logicalIndex(V);
    QAction* Action =
        Menu->addAction(model() ? model()->headerData(Logical, Qt::Horizontal).toString()
                                : QString::number(Logical));
    Action->setCheckable(true);
    Action->setChecked(!Header->isSectionHidden(Logical));
    Action->setEnabled(Header->isSectionHidden(Logical) || Visible > 1);
    connect(Action, &QAction::toggled, this,
            [Header, Logical](bool AOn) { Header->setSectionHidden(Logical, !AOn); });
  }
  return Menu;
}

void TVirtualTreePlaylist::mousePressEvent(QMouseEvent* AEvent)
{
  const bool OnRow = indexAt(AEvent->position().toPoint()).isValid();
  FPressedOnEmpty = !OnRow;
  if (!OnRow && AEvent->button() == Qt::LeftButton &&
      !(AEvent->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
    clearSelection();
    AEvent->accept();
    return;
  }
  QTreeView::mousePressEvent(AEvent);
}

void TVirtualTreePlaylist::mouseMoveEvent(QMouseEvent* AEvent)
{
  // Rows are not selected by sweeping over them from an empty area; a press on a row starts a
  // drag instead (the base class).
  if ((AEvent->buttons() & Qt::LeftButton) && FPressedOnEmpty) {
    AEvent->accept();
    return;
  }
  QTreeView::mouseMoveEvent(AEvent);
}

void TVirtualTreePlaylist::focusInEvent(QFocusEvent* AEvent)
{
  QTreeView::focusInEvent(AEvent);
  viewport()->update();
}

void TVirtualTreePlaylist::focusOutEvent(QFocusEvent* AEvent)
{
  QTreeView::focusOutEvent(AEvent);
  viewport()->update();
}

void TVirtualTreePlaylist::startDrag(Qt::DropActions ASupportedActions)
{
  Q_UNUSED(ASupportedActions);
  const QModelIndex Current = currentIndex();
  if (!Current.isValid() || !model())
    return;
  QMimeData* Data = model()->mimeData({Current});
  if (!Data)
    return;
  auto* Drag = new QDrag(this);
  Drag->setMimeData(Data);
  // The dragged row as the drag image, so the user sees what moves.
  QRect Row = visualRect(Current);
  Row.setLeft(0);
  Row.setRight(viewport()->width() - 1);
  if (Row.isValid()) {
    Drag->setPixmap(viewport()->grab(Row));
    Drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - Row.topLeft());
  }
  Drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void TVirtualTreePlaylist::dragEnterEvent(QDragEnterEvent* AEvent)
{
  if (!AcceptsDrop(AEvent->mimeData())) {
    AEvent->ignore();
    return;
  }
  AEvent->setDropAction(Qt::MoveAction);
  AEvent->accept();
  SetDropRow(indexAt(AEvent->position().toPoint()).row());
}

void TVirtualTreePlaylist::dragMoveEvent(QDragMoveEvent* AEvent)
{
  const QPoint Pos = AEvent->position().toPoint();
  DragScroll(Pos);
  if (!AcceptsDrop(AEvent->mimeData())) {
    SetDropRow(-1);
    AEvent->ignore();
    return;
  }
  AEvent->setDropAction(Qt::MoveAction);
  AEvent->accept();
  SetDropRow(indexAt(Pos).row());
}

void TVirtualTreePlaylist::dragLeaveEvent(QDragLeaveEvent* AEvent)
{
  StopDragScroll();
  SetDropRow(-1);
  AEvent->accept();
}

void TVirtualTreePlaylist::dropEvent(QDropEvent* AEvent)
{
  StopDragScroll();
  SetDropRow(-1);
  setState(NoState);
  if (!AcceptsDrop(AEvent->mimeData())) {
    AEvent->ignore();
    return;
  }
  const QModelIndex Target = indexAt(AEvent->position().toPoint());
  AEvent->setDropAction(Qt::MoveAction);
  AEvent->accept();
  if (OnDragDrop)
    OnDragDrop(Target.isValid() ? Target.row() : -1);
}

void TVirtualTreePlaylist::paintEvent(QPaintEvent* AEvent)
{
  QTreeView::paintEvent(AEvent);
  if (FDropRow < 0 || !model() || FDropRow >= model()->rowCount())
    return;
  QRect Row = visualRect(model()->index(FDropRow, 0));
  if (!Row.isValid())
    return;
  Row.setLeft(0);
  Row.setRight(viewport()->width() - 1);
  QPainter Painter(viewport());
  Painter.setPen(QPen(SelectionColor, 2));
  Painter.drawRect(Row.adjusted(1, 1, -1, -1));
}

void TVirtualTreePlaylist::contextMenuEvent(QContextMenuEvent* AEvent)
{
  if (!OnRowMenu || !model()) {
    AEvent->ignore();
    return;
  }
  int Row = -1;
  QPoint At;
  if (AEvent->reason() == QContextMenuEvent::Mouse) {
    Row = indexAt(AEvent->pos()).row();
    At = AEvent->globalPos();
  } else {
    // The menu key: the row with the focus, or the topmost selected one.
    Row = currentIndex().isValid() && selectionModel()->isRowSelected(currentIndex().row())
              ? currentIndex().row()
              : TopSelectedRow();
    if (Row >= 0) {
      scrollTo(model()->index(Row, 0));
      const QRect R = visualRect(model()->index(Row, 0));
      At = viewport()->mapToGlobal(QPoint(R.left() + R.height(), R.center().y()));
    }
  }
  if (Row < 0) {
    AEvent->ignore();
    return;
  }
  if (!selectionModel()->isRowSelected(Row))
    SelectRow(Row);
  AEvent->accept();
  OnRowMenu(Row, At);
}

void TVirtualTreePlaylist::SetDropRow(int ARow)
{
  if (ARow == FDropRow)
    return;
  FDropRow = ARow;
  viewport()->update();
}

void TVirtualTreePlaylist::DragScroll(const QPoint& APos)
{
  const int Margin = qMax(8, FDelegate->RowHeight());
  if (APos.y() < Margin)
    FDragScrollStep = -1;
  else if (APos.y() > viewport()->height() - Margin)
    FDragScrollStep = 1;
  else
    FDragScrollStep = 0;
  if (FDragScrollStep == 0)
    FDragScrollTimer->stop();
  else if (!FDragScrollTimer->isActive())
    FDragScrollTimer->start();
}

void TVirtualTreePlaylist::StopDragScroll()
{
  FDragScrollStep = 0;
  FDragScrollTimer->stop();
}
