#pragma once
// The shape of the camera grid: rows and columns for a number of cameras,
// and which pane shows which camera slot (row by row).

namespace cx {

struct GridShape {
    int rows = 2;
    int columns = 2;
    int panes() const { return rows * columns; }
    friend bool operator==(const GridShape&, const GridShape&) = default;
};

// Sets `shape` for `cameras` configured cameras (1 to 16) and returns true;
// any other count leaves it as it was and returns false.
bool computeGridShape(int cameras, GridShape& shape);

struct GridCell {
    int row = 0;
    int column = 0;
    friend bool operator==(const GridCell&, const GridCell&) = default;
};

// Pane k shows slot k, counted row by row.
inline int paneIndex(int row, int column, int columns) { return row * columns + column; }
inline GridCell cellOfPane(int pane, int columns) { return {pane / columns, pane % columns}; }

}  // namespace cx
