// The playlist grid's column layout (order, widths, hidden columns) kept in the connection
// settings between runs, and the grid's designed columns.
#pragma once

#include <QLocale>

class QHeaderView;
class QTreeView;
class TMyColumns;

// Gives the playlist grid its designed column widths, each at least as wide as the widest text
// the column shows drawn in bold (the entry on air is bold), and lets the title column take the
// spare width of the grid: it grows when the window grows and gives the width back, down to
// its own width, when the window shrinks or another column widens. Its own width is the one the
// user gave it (or the one restored); that is the width the layout saves. Start times are
// measured in ALocale's long time format, the one they are shown in.
void SetUpPlaylistColumns(QTreeView* AGrid, const QLocale& ALocale = QLocale::system());

// Empties the collection, then appends one item per header column in column index order with
// its width (also of a hidden column), display position and visibility.
void SaveColumnLayout(const QHeaderView* AHeader, TMyColumns& AColumns);

// Applies the collection to the grid's header. A collection with more items than the grid has
// columns is ignored. A shorter one is first completed from the grid (the missing columns as
// they are, at their own index as position); the completion stays in the collection. A layout
// whose positions are out of range or used twice is ignored whole. Otherwise visibility, then
// positions, then widths are applied, and the first visible column in display order (or column
// 0 when none is visible) becomes the grid's main column. Returns whether it was applied.
//
// A width too small to use (below the header's minimum section size, 0 included) keeps the
// column's designed width, shown or hidden, so that a column shown later can be seen. A layout
// that would hide every column keeps the columns' visibility as the grid has it.
bool RestoreColumnLayout(QTreeView* AGrid, TMyColumns& AColumns);
