// Text placement and the fonts behind it.
#include <gtest/gtest.h>

#include <memory>

#include "Pixels.h"
#include "gdi/FontImpl.h"

namespace gdi::test {
namespace {

std::unique_ptr<Font> CellFont(int height, int width) {
  // The mode screens' font: FW_NORMAL, ANSI, PROOF_QUALITY, FF_SWISS.
  return Font::Create(height, width, "Microsoft Sans Serif");
}

bool IsWantedFamily(const std::string& f) {
  return f == "Liberation Sans" || f == "DejaVu Sans";
}

TEST(SystemFont, DejaVuSansBoldSixteenPixelCellSevenPixelsWide) {
  const Font& f = Font::System();
  EXPECT_EQ(f.impl().family, "DejaVu Sans");
  EXPECT_EQ(f.CellHeight(), 16);
  EXPECT_EQ(f.AverageCharWidth(), 7);
  EXPECT_LT(f.impl().stretch, 100) << "narrowed by stretching, as created fonts are";
  EXPECT_GT(f.Ascent(), 8);
  EXPECT_LT(f.Ascent(), 16);
  EXPECT_EQ(&f, &Font::System());
}

TEST(TextOut, OpaqueBoxIsTheCellWithItsTopLeftAtThePoint) {
  Surface s(300, 60, kBlue);
  DC dc(s);
  dc.SetBkColor(kGrey);
  dc.TextOut(17, 9, "Button : 3");
  const int w = Font::System().TextWidth("Button : 3");
  EXPECT_GT(w, 40);
  EXPECT_EQ(InkBounds(s, kBlue), (RECT{17, 9, 17 + w, 9 + 16}));
  EXPECT_EQ(dc.DirtyRect(), (RECT{17, 9, 17 + w, 9 + 16}));
  EXPECT_EQ(s.Pixel(17, 9), kGrey);
  EXPECT_GT(Count(s, kBlack), 40);  // glyphs in the default black
  EXPECT_EQ(Count(s, kGrey) + Count(s, kBlack), w * 16);
}

TEST(TextOut, SpacesAloneStillPaintTheBox) {
  Surface s(100, 40);
  DC dc(s);
  dc.SetBkColor(kRed);
  dc.TextOut(3, 4, "   ");
  EXPECT_EQ(InkBounds(s), (RECT{3, 4, 3 + Font::System().TextWidth("   "), 20}));
  EXPECT_EQ(Count(s, kBlack), 0);
}

TEST(TextOut, SelectedFontColoursAndEmptyText) {
  auto font = CellFont(40, 40);
  Surface s(400, 100);
  DC dc(s);
  EXPECT_EQ(dc.SelectObject(font.get()), &Font::System());
  dc.SetTextColor(kWhite);
  dc.SetBkColor(kBlack);
  dc.TextOut(10, 20, "12, 34");
  EXPECT_EQ(InkBounds(s), (RECT{10, 20, 10 + font->TextWidth("12, 34"), 60}));
  EXPECT_GT(Count(s, kBlack), 0);
  dc.TextOut(200, 5, "");
  EXPECT_EQ(s.Pixel(200, 5), kWhite);
}

TEST(CreatedFont, CellHeightExactForEveryHeightFromTenToEighty) {
  for (int h = 10; h <= 80; ++h) {
    SCOPED_TRACE(h);
    auto font = CellFont(h, 0);
    EXPECT_TRUE(IsWantedFamily(font->impl().family)) << font->impl().family;
    EXPECT_EQ(font->CellHeight(), h);
    // The cell is what TextOut paints.
    Surface s(3 * h + 40, h + 20);
    DC dc(s);
    dc.SelectObject(font.get());
    dc.SetBkColor(kGrey);
    dc.TextOut(5, 7, "8");
    const RECT ink = InkBounds(s);
    EXPECT_EQ(ink.top, 7);
    EXPECT_EQ(ink.bottom, 7 + h);
    EXPECT_EQ(ink.left, 5);
  }
}

TEST(CreatedFont, AverageWidthFollowsTheRequest) {
  for (int size : {20, 34, 42, 64}) {
    SCOPED_TRACE(size);
    auto font = CellFont(size, size);
    EXPECT_EQ(font->CellHeight(), size);
    EXPECT_NEAR(font->AverageCharWidth(), size, 1);
    auto natural = CellFont(size, 0);
    EXPECT_GT(font->TextWidth("1234"), natural->TextWidth("1234"));
  }
}

TEST(CreatedFont, UnknownFaceFallsBackToAnInstalledSans) {
  auto font = Font::Create(20, 0, "No Such Face Anywhere");
  EXPECT_TRUE(IsWantedFamily(font->impl().family)) << font->impl().family;
  auto none = Font::Create(20, 0, nullptr);
  EXPECT_TRUE(IsWantedFamily(none->impl().family)) << none->impl().family;
}

TEST(CreatedFont, TextWidthIsTheSumOfAdvances) {
  auto font = CellFont(30, 0);
  EXPECT_EQ(font->TextWidth(""), 0);
  EXPECT_EQ(font->TextWidth("ab"), font->TextWidth("a") + font->TextWidth("b"));
  EXPECT_GT(font->TextWidth("W"), font->TextWidth("i"));
  EXPECT_GT(font->TextWidth("\xE9"), 0);  // bytes above 127 have glyphs too
}

}  // namespace
}  // namespace gdi::test
