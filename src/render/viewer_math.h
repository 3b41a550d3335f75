// The viewer's geometry: fitting the picture into its box, picking and moving a subtitle's
// rectangle. Plain functions over the record, so they run without a window.
#pragma once

#include <string>

#include "core/subtitle.h"

namespace vantrel {

struct FitRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Sizes and centres a picture of W x H inside a box of boxWidth x boxHeight (a 1-pixel
// border on every side), keeping the aspect when asked.
FitRect FitImage(int W, int H, int boxWidth, int boxHeight, bool keepAspect);

// Which slot of the subtitle lies under (x, y): 1 for slot 0, 2 for slot 1 (slot 1 wins where
// both hold), 0 for none. Border columns and rows do not count.
int hitTest(const TSUP& sub, int x, int y);

// Moves a slot by (dx, dy), stopping at the screen edges (x2 at most 1919, y2 at most 1079,
// x1 and y1 at least 0); the size stays.
void moveSlot(TSUPObject& slot, int dx, int dy);

// Centres a slot horizontally on column 960 and puts its bottom on `lastLine`; a rectangle
// that would reach above row 0 starts at row 0.
void centreSlot(TSUPObject& slot, int lastLine);

// "(x1, y1) - (x2, y2)  WxH"
std::string areaText(const TSUPObject& slot);

// Widget coordinate to picture coordinate for a picture of `pictureSize` shown `widgetSize`
// wide (or high).
int toPicture(int coordinate, int widgetSize, int pictureSize);

}  // namespace vantrel
