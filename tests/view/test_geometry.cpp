// Picture geometry without a window: design units to client pixels, the anchor, and every stored
// shape on two screens. Expected pixels were worked out apart from the code (double-precision
// products of the single-precision scales, truncated after the anchor is added).
#include <gtest/gtest.h>

#include <limits>

#include "view/PictureGeometry.h"

namespace {

using picture::Place;
using picture::Placement;

// The scale factors of a 1280 x 1024 screen: 1280 / 1024 and 1024 times the single-precision
// 1/768, rounded to single precision (not 4/3).
constexpr float kScaleX1280 = 1.25f;
constexpr float kScaleY1024 = 1.3333333730697632f;

TEST(Geometry, OffsetIsAddedToTheAnchorBeforeTruncation) {
  struct Row {
    int32_t origin;
    int design;
    float scale;
    int32_t expected;
  } rows[] = {
      {1500, 13, 1.5625f, 1520},       // 1520.3125
      {1500, -1, 1.5625f, 1498},       // 1498.4375: not 1500 - trunc(1.5625) = 1499
      {1500, 0, 1.5625f, 1500},        // a zero offset is the anchor itself
      {952, 360, 1.0f, 1312},          // scale 1: design units are pixels
      {155, -15, kScaleY1024, 134},    // 134.9999994: the scale is a hair above 4/3
      {155, 300, kScaleY1024, 555},    // 555.0000119
      {1180, -30, kScaleX1280, 1142},  // 1142.5
      {0, -1, 1.5f, -1},               // a negative total truncates toward zero
      {10, -7, 1.5f, 0},               // -0.5 -> 0
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Place(r.origin, r.design, r.scale), r.expected)
        << r.origin << " + " << r.design << " * " << r.scale;
  }
}

TEST(Geometry, NonsenseScalesStayWithinTheDrawingLayersRange) {
  EXPECT_EQ(Place(0, 1000000, 1.0e9f), 1 << 27);
  EXPECT_EQ(Place(0, -1000000, 1.0e9f), -(1 << 27));
  EXPECT_EQ(Place(0, 5, std::numeric_limits<float>::quiet_NaN()), -(1 << 27));
}

TEST(Geometry, AnchorKeepsAFixedDistanceFromTheRightEdge) {
  struct Row {
    int32_t packetLength, right, bottom;
    vellum::Point expected;
  } rows[] = {
      {5, 1024, 768, {924, 155}},  {5, 1920, 1017, {1820, 155}}, {7, 1024, 768, {952, 192}},
      {7, 1280, 977, {1208, 244}}, {7, 1024, 741, {952, 185}},  // quarter height truncated
      {0, 800, 600, {728, 150}},                                // anything but 5 is laid out like 7
  };
  for (const Row& r : rows) {
    EXPECT_EQ(picture::PictureOrigin(r.packetLength, r.right, r.bottom), r.expected)
        << r.packetLength << " " << r.right << "x" << r.bottom;
  }
}

TEST(Geometry, TipsEndWhereTheScreenOf1024x768PutsThem) {
  const Placement seven{picture::PictureOrigin(7, 1024, 768), 1.0f, 1.0f};
  const picture::SevenByteShapes s7 = picture::LayoutSevenByte(seven);
  EXPECT_EQ(s7.stylusTipReleased[2].y - seven.origin.y, 360);
  EXPECT_EQ(s7.stylusTipReleased[2].y, 768 / 4 + 360);
  EXPECT_EQ(s7.stylusTipPressed[2].y - seven.origin.y, 357);  // three units shorter

  const Placement five{picture::PictureOrigin(5, 1024, 768), 1.0f, 1.0f};
  const picture::FiveByteShapes s5 = picture::LayoutFiveByte(five);
  EXPECT_EQ(s5.tip2Released[2].y, 455);
  EXPECT_EQ(s5.tip3Released[2].y, 455);
}

struct SevenByteCase {
  const char* name;
  Placement at;
  picture::SevenByteShapes expected;
};

struct FiveByteCase {
  const char* name;
  Placement at;
  picture::FiveByteShapes expected;
};

TEST(Geometry, SevenByteShapesOnTwoScreens) {
  const SevenByteCase cases[] = {
      {"1024x768, client 1024x768",
       {{952, 192}, 1.0f, 1.0f},
       {{943, 394, 961, 457},
        {949, 538, 956, 553},
        {{{949, 537},
          {949, 542},
          {952, 552},
          {955, 542},
          {949, 542},
          {955, 542},
          {955, 537},
          {0, 0}}},
        {{{949, 537},
          {949, 539},
          {952, 549},
          {955, 539},
          {949, 539},
          {955, 539},
          {955, 537},
          {0, 0}}},
        {{{957, 422}, {945, 422}, {957, 426}, {945, 426}, {957, 430}, {945, 430}, {0, 0}}}}},
      {"1280x1024, client 1280x977",
       {{1208, 244}, kScaleX1280, kScaleY1024},
       {{1196, 513, 1219, 597},
        {1204, 705, 1213, 725},
        {{{1204, 704},
          {1204, 710},
          {1208, 724},
          {1211, 710},
          {1204, 710},
          {1211, 710},
          {1211, 704},
          {0, 0}}},
        {{{1204, 704},
          {1204, 706},
          {1208, 720},
          {1211, 706},
          {1204, 706},
          {1211, 706},
          {1211, 704},
          {0, 0}}},
        {{{1214, 550}, {1199, 550}, {1214, 556}, {1199, 556}, {1214, 561}, {1199, 561}, {0, 0}}}}},
  };
  for (const SevenByteCase& c : cases) {
    SCOPED_TRACE(c.name);
    const picture::SevenByteShapes s = picture::LayoutSevenByte(c.at);
    EXPECT_EQ(s.rockerRect, c.expected.rockerRect);
    EXPECT_EQ(s.stylusTipRegion, c.expected.stylusTipRegion);
    EXPECT_EQ(s.stylusTipReleased, c.expected.stylusTipReleased);
    EXPECT_EQ(s.stylusTipPressed, c.expected.stylusTipPressed);
    EXPECT_EQ(s.rockerLines, c.expected.rockerLines);
  }
}

TEST(Geometry, FiveByteShapesOnTwoScreens) {
  const FiveByteCase cases[] = {
      {"1024x768, client 1024x768",
       {{924, 155}, 1.0f, 1.0f},
       {{929, 441, 949, 460},
        {{{937, 440}, {937, 448}, {939, 450}, {941, 448}, {941, 440}}},
        {{{936, 440}, {936, 453}, {939, 455}, {941, 453}, {941, 440}}},
        {{{936, 440}, {939, 450}, {942, 440}}},
        {{{936, 440}, {936, 445}, {939, 455}, {942, 445}, {942, 440}}},
        {{{934, 370}, {934, 380}, {944, 380}, {944, 370}}},
        {{{934, 340}, {934, 365}, {944, 365}, {944, 340}}},
        {{{897, 210}, {894, 235}, {929, 235}, {929, 210}}},
        {{{969, 210}, {969, 235}, {1003, 235}, {1000, 210}}},
        {{{934, 235}, {934, 255}, {964, 255}, {964, 235}}},
        {{{929, 210}, {929, 235}, {969, 235}, {969, 210}}}}},
      {"1280x1024, client 1280x977",
       {{1180, 155}, kScaleX1280, kScaleY1024},
       {{1186, 536, 1211, 561},
        {{{1196, 535}, {1196, 545}, {1198, 548}, {1201, 545}, {1201, 535}}},
        {{{1195, 535}, {1195, 552}, {1198, 555}, {1201, 552}, {1201, 535}}},
        {{{1195, 535}, {1198, 548}, {1202, 535}}},
        {{{1195, 535}, {1195, 541}, {1198, 555}, {1202, 541}, {1202, 535}}},
        {{{1192, 441}, {1192, 455}, {1205, 455}, {1205, 441}}},
        {{{1192, 401}, {1192, 435}, {1205, 435}, {1205, 401}}},
        {{{1146, 228}, {1142, 261}, {1186, 261}, {1186, 228}}},
        {{{1236, 228}, {1236, 261}, {1278, 261}, {1275, 228}}},
        {{{1192, 261}, {1192, 288}, {1230, 288}, {1230, 261}}},
        {{{1186, 228}, {1186, 261}, {1236, 261}, {1236, 228}}}}},
  };
  for (const FiveByteCase& c : cases) {
    SCOPED_TRACE(c.name);
    const picture::FiveByteShapes s = picture::LayoutFiveByte(c.at);
    EXPECT_EQ(s.buttonStylusTipRegion, c.expected.buttonStylusTipRegion);
    EXPECT_EQ(s.tip2Pressed, c.expected.tip2Pressed);
    EXPECT_EQ(s.tip2Released, c.expected.tip2Released);
    EXPECT_EQ(s.tip3Pressed, c.expected.tip3Pressed);
    EXPECT_EQ(s.tip3Released, c.expected.tip3Released);
    EXPECT_EQ(s.lowerButton3, c.expected.lowerButton3);
    EXPECT_EQ(s.upperButton3, c.expected.upperButton3);
    EXPECT_EQ(s.cursorButton1, c.expected.cursorButton1);
    EXPECT_EQ(s.cursorButton2, c.expected.cursorButton2);
    EXPECT_EQ(s.cursorButton3, c.expected.cursorButton3);
    EXPECT_EQ(s.cursorButton4, c.expected.cursorButton4);
  }
}

}  // namespace
