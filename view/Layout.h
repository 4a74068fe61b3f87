#pragma once
// The info screen's fixed measures and the view's colours, defined once for every file that
// places or paints something. Measures are client pixels from the client's right edge R and
// bottom edge B (its left and top are 0).
#include <cstdint>

#include "gdi/Gdi.h"

namespace layout {

// The side panel's texts, the selector's left edge and the button readout: R - 145.
inline constexpr int kPanelColumn = 145;
// The side panel's text rows, from the top: tablet size, resolution, port, and on 5-byte tablets
// the selector's label.
inline constexpr int kSizeRowY = 5;
inline constexpr int kResolutionRowY = 30;
inline constexpr int kPortRowY = 55;
inline constexpr int kTransducerRowY = 80;
// The trace area ends at R - 150 (the side panel) and B - 50 (the readout strip).
inline constexpr int kTraceRightMargin = 150;
inline constexpr int kTraceBottomMargin = 50;
// The 4-pixel separators along the trace area's edges: x = R - 148, y = B - 48.
inline constexpr int kSeparatorRight = 148;
inline constexpr int kSeparatorBottom = 48;
// The value readout in the strip: (20, B - 40).
inline constexpr int kReadoutX = 20;
inline constexpr int kReadoutAboveBottom = 40;

inline gdi::RECT TraceArea(const gdi::RECT& client) {
  return {client.left, client.top, client.right - kTraceRightMargin,
          client.bottom - kTraceBottomMargin};
}

// The button readout's line, five sixths of the way down (multiplied first, then truncated).
inline int32_t ButtonLineY(const gdi::RECT& client) {
  return int32_t(int64_t(5) * client.bottom / 6);
}

}  // namespace layout

namespace colour {

inline constexpr gdi::COLORREF kBlack = 0x000000;
inline constexpr gdi::COLORREF kWhite = 0xFFFFFF;  // also the window's background
inline constexpr gdi::COLORREF kRed = 0x0000FF;
inline constexpr gdi::COLORREF kCyan = 0xFFFF00;
inline constexpr gdi::COLORREF kGrey = 0xC0C0C0;
inline constexpr gdi::COLORREF kDarkGrey = 0x606060;

}  // namespace colour
