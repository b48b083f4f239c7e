// The playlist grid's column layout (order, widths, hidden columns) kept in the connection
// settings between runs.
#pragma once

class QHeaderView;
class QTreeView;
class TMyColumns;

// Empties the collection, then appends one item per header column in column index order with
// its width (also of a hidden column), display position and visibility.
void SaveColumnLayout(const QHeaderView* AHeader, TMyColumns& AColumns);

// Applies the collection to the grid's header. A collection with more items than the grid has
// columns is ignored. A shorter one is first completed from the grid (the missing columns as
// they are, at their own index as position); the completion stays in the collection. A layout
// whose positions are out of range or used twice is ignored whole. Otherwise visibility, then
// positions, then widths are applied, and the first visible column in display order (or column
// 0 when none is visible) becomes the grid's main column. Returns whether it was applied.
bool RestoreColumnLayout(QTreeView* AGrid, TMyColumns& AColumns);
