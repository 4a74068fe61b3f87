#include "view/PictureGeometry.h"

#include <cmath>

#include "base/Tablet.h"

namespace picture {

namespace {

// The drawing layer keeps coordinates within 27 bits; a point beyond that could only come from a
// nonsense scale, and casting it unchecked would be undefined.
constexpr double kLimit = double(1 << 27);

template <std::size_t N, std::size_t M>
std::array<Point, M> WithTrailer(const Placement& at, const std::array<DesignPoint, N>& points) {
  static_assert(M == N + 1);
  std::array<Point, M> out{};  // the last one stays the point (0, 0)
  for (std::size_t i = 0; i < N; ++i) out[i] = at(points[i]);
  return out;
}

}  // namespace

int32_t Place(int32_t origin, int design, float scale) {
  const double v = double(origin) + double(design) * double(scale);
  if (!(v > -kLimit)) return -(1 << 27);  // also catches NaN
  if (v >= kLimit) return 1 << 27;
  return int32_t(std::trunc(v));
}

Point PictureOrigin(int32_t packetLength, int32_t clientRight, int32_t clientBottom) {
  if (packetLength == vellum::kPlainPacketLength) return {clientRight - 100, 155};
  return {clientRight - 72, clientBottom / 4};
}

SevenByteShapes LayoutSevenByte(const Placement& at) {
  SevenByteShapes s;
  s.stylusTipRegion = at(kStylusTipRegionTopLeft, kStylusTipRegionBottomRight);
  s.stylusTipReleased = WithTrailer<7, 8>(at, kStylusTipReleased);
  s.stylusTipPressed = WithTrailer<7, 8>(at, kStylusTipPressed);
  s.rockerRect = at(kRockerTopLeft, kRockerBottomRight);
  s.rockerLines = WithTrailer<6, 7>(at, kRockerLines);
  return s;
}

FiveByteShapes LayoutFiveByte(const Placement& at) {
  FiveByteShapes s;
  s.buttonStylusTipRegion = at(kButtonTipRegionTopLeft, kButtonTipRegionBottomRight);
  s.tip2Pressed = at.All(kTip2Pressed);
  s.tip2Released = at.All(kTip2Released);
  s.tip3Pressed = at.All(kTip3Pressed);
  s.tip3Released = at.All(kTip3Released);
  s.lowerButton3 = at.All(kLowerButton3);
  s.upperButton3 = at.All(kUpperButton3);
  s.cursorButton1 = at.All(kCursorButton1);
  s.cursorButton2 = at.All(kCursorButton2);
  s.cursorButton3 = at.All(kCursorButton3);
  s.cursorButton4 = at.All(kCursorButton4);
  return s;
}

}  // namespace picture
