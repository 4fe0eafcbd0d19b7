#pragma once
// Where positioned labels and hover buttons go inside their parent: a row
// d counted up from the bottom and a column e counted left from the centre
// (48 pixels per column).

namespace cx {

struct PlacedRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PlacedRect&, const PlacedRect&) = default;
};

// Label of size width × height: moved left to stay inside `right`.
PlacedRect placeLabel(int left, int right, int bottom, int row, int column, int width, int height);
// Hover button of size width × height: cut to stay inside `right`.
PlacedRect placeHoverButton(int left, int right, int bottom, int row, int column, int width, int height);

}  // namespace cx
