// How the ShotEditor's rows are drawn: their background and text colours and the timeline
// bar, as plain functions so that the rules are checked without a window.
#pragma once

#include <QColor>
#include <QRect>
#include <cstdint>

class QPainter;

namespace vorlan::desktop {

// 0x00BBGGRR, as the shot list stores colours, and back.
QColor FromColourRef(uint32_t colour);
uint32_t ToColourRef(const QColor& colour);

// 0.5 x green + 0.2 x blue + 0.3 x red, truncated (0 to 255).
int Brightness(const QColor& background);
// Dark text on a light background, light text on a dark one.
QColor TextColourOn(const QColor& background, const QColor& windowText, const QColor& highlightText);

// The bar's left and right ends in the last column (starting at x0, w wide), for a span of
// frames over the Global TimeLine's begin and length (length > 0).
struct BarSpan {
  int left = 0, right = 0;
};
BarSpan TimelineBar(int x0, int w, int32_t begin, int32_t end, int32_t globalBegin, int32_t globalLength);
// The bar spanning the whole column, as the Global TimeLine's row shows it.
BarSpan FullBar(int x0, int w);
// Red for a negative length; nearly black on a light background, light yellow on a dark one.
QColor BarColour(int32_t length, const QColor& background);

// Draws a bar 2 pixels high at the row's vertical middle, with a 6-pixel upright tick at
// each end.
void DrawBar(QPainter& p, const BarSpan& span, const QRect& row, const QColor& colour);

}  // namespace vorlan::desktop
