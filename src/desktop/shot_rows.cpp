#include "desktop/shot_rows.h"

#include <QPainter>
#include <algorithm>

namespace vorlan::desktop {

QColor FromColourRef(uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

uint32_t ToColourRef(const QColor& c) {
  return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

// In tenths, so that a grey of 128 is 128 and not 127.99... truncated.
int Brightness(const QColor& b) { return (5 * b.green() + 2 * b.blue() + 3 * b.red()) / 10; }

QColor TextColourOn(const QColor& background, const QColor& windowText, const QColor& highlightText) {
  return Brightness(background) >= 128 ? windowText : highlightText;
}

BarSpan TimelineBar(int x0, int w, int32_t begin, int32_t end, int32_t globalBegin, int32_t globalLength) {
  const double scale = double(w - 4) / double(globalLength);
  auto at = [&](int32_t frame) {
    return std::max(x0, int(x0 + 2 + double(int64_t(frame) - globalBegin) * scale));
  };
  return {at(begin), at(end)};
}

BarSpan FullBar(int x0, int w) { return {x0 + 2, x0 + w - 2}; }

QColor BarColour(int32_t length, const QColor& background) {
  if (length < 0) return QColor(255, 16, 16);
  return Brightness(background) >= 128 ? QColor(16, 16, 16) : QColor(255, 255, 160);
}

void DrawBar(QPainter& p, const BarSpan& span, const QRect& row, const QColor& colour) {
  const int mid = row.top() + row.height() / 2;
  const int left = std::min(span.left, span.right), right = std::max(span.left, span.right);
  p.fillRect(QRect(left, mid - 1, right - left + 1, 2), colour);
  p.fillRect(QRect(span.left, mid - 3, 1, 6), colour);
  p.fillRect(QRect(span.right, mid - 3, 1, 6), colour);
}

}  // namespace vorlan::desktop
