// The side panel's texts stand whole between their column, 145 pixels left of the client's right
// edge, and that edge: in the system font's widths and on the painted screen, at both common
// screen sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "gdi/Gdi.h"
#include "res/Strings.h"
#include "support/Harness.h"
#include "support/TextCheck.h"
#include "tablet/TabletLink.h"
#include "tablet/TabletSize.h"
#include "view/Text.h"

namespace {

constexpr int kColumn = 145;  // the panel column's distance from the right edge
constexpr gdi::COLORREF kBlack = 0x000000;

struct Tablet {
  int model, maxX, maxY;
};
const Tablet kTablets[] = {{7, 5000, 3750}, {5, 2500, 2250}};

int Resolution(const Tablet& t) {
  return t.model == 7 ? 1000 : 500;
}

struct Line {
  int y;  // -1: the button line, at five sixths of the client height
  std::string text;
};

std::vector<Line> PanelLines(const Tablet& t, int port, int button) {
  std::vector<Line> lines = {
      {5, res::kSizeLabel + vellum::FormatTabletSize(t.maxX, t.maxY, Resolution(t))},
      {30, FormatText(res::kResolutionFormat, Resolution(t))},
      {55, FormatText(res::kPortFormat, port)},
      {-1, FormatText(res::kButtonFormat, button)},
  };
  if (t.model == 5) lines.push_back({80, res::kTransducerLabel});
  return lines;
}

TEST(PanelTexts, EveryTextFitsTheColumnInTheSystemFont) {
  std::set<std::string> texts;
  for (const Tablet& t : kTablets) {
    for (int port = 1; port <= 4; ++port) {
      for (int button = 0; button <= 7; ++button) {
        for (const Line& line : PanelLines(t, port, button)) texts.insert(line.text);
      }
    }
  }
  // Every size a tablet can report, at either resolution: the widest carry two decimals.
  for (int32_t x : vellum::AcceptedXRanges) {
    for (int32_t y : vellum::AcceptedYRanges) {
      for (int resolution : {1000, 500}) {
        texts.insert(res::kSizeLabel + vellum::FormatTabletSize(x, y, resolution));
      }
    }
  }
  const gdi::Font& font = gdi::Font::System();
  for (const std::string& text : texts) EXPECT_LE(font.TextWidth(text), kColumn) << text;
  // The label ends above the transducer selector, which starts at y 105 in the same column.
  EXPECT_LE(80 + font.CellHeight(), 105);
}

struct ScreenCase {
  const char* name;
  Tablet tablet;
  int port;
  int screenWidth, screenHeight;
  int clientWidth,
      clientHeight;  // a maximised frame's view, below the title bar, above the status bar
};

const ScreenCase kScreens[] = {
    {"SevenByteOnCom4At1024x768", kTablets[0], 4, 1024, 768, 1024, 705},
    {"SevenByteOnCom1At1920x1080", kTablets[0], 1, 1920, 1080, 1920, 1017},
    {"FiveByteOnCom4At1024x768", kTablets[1], 4, 1024, 768, 1024, 705},
    {"FiveByteOnCom2At1920x1080", kTablets[1], 2, 1920, 1080, 1920, 1017},
};

class PanelOnScreen : public ::testing::TestWithParam<ScreenCase> {};

// The rightmost pixel of the text box at (x, y) that differs from black, or -1.
int RightmostInk(const gdi::Surface& s, int x, int y, int height) {
  int right = -1;
  for (int yy = y; yy < y + height; ++yy) {
    for (int xx = x; xx < s.Width(); ++xx) {
      if (s.Pixel(xx, yy) != kBlack) right = std::max(right, xx);
    }
  }
  return right;
}

TEST_P(PanelOnScreen, EveryLineEndsInsideTheClient) {
  const ScreenCase& c = GetParam();
  const Tablet& t = c.tablet;
  test::ViewUnderTest v({t.model, t.maxX, t.maxY, c.port}, c.clientWidth, c.clientHeight,
                        c.screenWidth, c.screenHeight);
  ASSERT_EQ(v->ClientRect().right, c.clientWidth);
  const gdi::Font& font = gdi::Font::System();
  const int right = v->ClientRect().right;
  const int x = right - kColumn;

  for (int button : {0, 7}) {
    SCOPED_TRACE("Button " + std::to_string(button));
    {
      // Black under the paint, so the opaque white text boxes show where they end.
      gdi::DC dc(v->Backbuffer());
      const gdi::Brush black(kBlack);
      dc.FillRect({0, 0, right, v->ClientRect().bottom}, black);
      v->OnDraw(dc);
    }
    if (button != 0) v->ShowReadout(button, 100, 100, 0);  // the reader's button line

    for (Line line : PanelLines(t, c.port, button)) {
      if (line.y < 0) line.y = (5 * v->ClientRect().bottom) / 6;
      const gdi::COLORREF colour = line.y < 55 ? 0x0000FF : kBlack;
      EXPECT_TRUE(test::TextAt(*v, x, line.y, line.text, colour));
      const int end = RightmostInk(v->Backbuffer(), x, line.y, font.CellHeight());
      EXPECT_EQ(end, x + font.TextWidth(line.text) - 1) << "\"" << line.text << "\" is cut";
      EXPECT_LT(end, right) << line.text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, PanelOnScreen, ::testing::ValuesIn(kScreens),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
