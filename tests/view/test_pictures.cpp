// The four transducer pictures drawn on a white backbuffer: outline pixels at points the drawing
// lists fix and the fills by colour. On a 1024 x 768 screen both scales are 1, so a design point
// is its pixel offset from the anchor.
#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <cstdlib>

#include "PictureRig.h"

namespace {

using pictest::kBlack;
using pictest::kDarkGrey;
using pictest::kGrey;
using pictest::kWhite;
using pictest::Rig;

struct Probe {
  int dx, dy;
  gdi::COLORREF colour;
  const char* what;
};

void ExpectProbes(Rig& rig, std::initializer_list<Probe> probes) {
  for (const Probe& p : probes) {
    EXPECT_EQ(rig.PxAt(p.dx, p.dy), p.colour)
        << p.what << " at design (" << p.dx << ", " << p.dy << ")";
  }
}

// The side panel, where every picture lies on these screens.
gdi::RECT Panel(TestView& v) {
  return {v.ClientRect().right - 148, 0, v.ClientRect().right, v.ClientRect().bottom};
}

TEST(Pictures, LayoutStoresTheShapesOfItsOwnPacketLengthOnly) {
  Rig five(5);
  EXPECT_EQ(five->m_pictureOrigin, (gdi::POINT{924, 155}));
  EXPECT_EQ(five->m_tip2Released[2], (gdi::POINT{939, 455}));
  EXPECT_EQ(five->m_cursorButton2[3], (gdi::POINT{1000, 210}));
  ASSERT_TRUE(five->m_buttonStylusTipRegion);
  EXPECT_EQ(five->m_buttonStylusTipRegion->Rect(), (gdi::RECT{929, 441, 949, 460}));
  EXPECT_FALSE(five->m_stylusTipRegion);
  EXPECT_EQ(five->m_stylusTipReleased[2], (gdi::POINT{}));

  Rig seven(7);
  EXPECT_EQ(seven->m_pictureOrigin, (gdi::POINT{952, 192}));
  EXPECT_EQ(seven->m_stylusTipReleased[2], (gdi::POINT{952, 552}));
  EXPECT_EQ(seven->m_stylusTipReleased[7], (gdi::POINT{0, 0}));  // the unconverted end mark
  EXPECT_EQ(seven->m_rockerLines[6], (gdi::POINT{0, 0}));
  EXPECT_EQ(seven->m_rockerRect, (gdi::RECT{943, 394, 961, 457}));
  ASSERT_TRUE(seven->m_stylusTipRegion);
  EXPECT_EQ(seven->m_stylusTipRegion->Rect(), (gdi::RECT{949, 538, 956, 553}));
  EXPECT_FALSE(seven->m_buttonStylusTipRegion);
}

TEST(Pictures, PressureStylus) {
  Rig rig(7);
  rig.White();
  rig->DrawPressureStylus();
  ExpectProbes(rig, {
                        {-7, 2, kBlack, "barrel top, left"},
                        {7, 2, kBlack, "barrel top, right"},
                        {0, -7, kBlack, "dome top"},
                        {0, 6, kWhite, "dome open below"},
                        {0, 5, kBlack, "cross line 5"},
                        {-12, 255, kBlack, "cross line 255 (the rocker covers its middle)"},
                        {0, 305, kBlack, "cross line 305"},
                        {-15, 280, kBlack, "barrel side, left"},
                        {15, 280, kBlack, "barrel side, right"},
                        {0, 345, kBlack, "tapered end"},
                        {8, 15, kBlack, "clip ear, right"},
                        {-8, 15, kBlack, "clip ear, left"},
                        {0, 10, kBlack, "clip head arc top"},
                        {0, 19, kWhite, "clip head arc open below"},
                        {-5, 31, kBlack, "clip arm, left"},
                        {6, 16, kBlack, "clip arm, right"},
                        {0, 41, kWhite, "clip loop open at the top"},
                        {0, 104, kBlack, "clip loop bottom"},
                        {-6, 73, kBlack, "clip loop side"},
                        {0, 215, kGrey, "rocker, upper half"},
                        {0, 245, kGrey, "rocker, lower half"},
                        {0, 228, kGrey, "rocker between lines"},
                        {0, 230, kBlack, "rocker line 230"},
                        {0, 234, kBlack, "rocker line 234"},
                        {0, 238, kBlack, "rocker line 238"},
                        {-7, 230, kGrey, "rocker line's end pixel left out"},
                        {-9, 233, kBlack, "rocker outline"},
                        {0, 348, kGrey, "tip body"},
                        {0, 350, kBlack, "tip joining line"},
                        {0, 355, kGrey, "tip cone"},
                        {0, 360, kBlack, "tip end"},
                        {0, 361, kWhite, "below the tip"},
                        {0, 285, kBlack, "grip, middle"},
                        {-8, 285, kBlack, "grip, left"},
                        {7, 285, kBlack, "grip, right"},
                        {-4, 285, kWhite, "between grip lines"},
                    });
  EXPECT_EQ(pictest::Count(*rig, Panel(*rig), kDarkGrey), 0);
}

TEST(Pictures, FourButtonCursor) {
  Rig rig(5);
  rig.White();
  rig->DrawFourButtonCursor();
  ExpectProbes(rig, {
                        {-30, 87, kBlack, "body, left"},
                        {25, -15, kWhite, "body top cut off"},
                        {25, 180, kWhite, "body bottom cut off"},
                        {25, 175, kBlack, "lower edge"},
                        {25, 0, kBlack, "lens housing top"},
                        {25, 50, kBlack, "line across the body"},
                        {-20, 50, kBlack, "line across the body, left"},
                        {1, 25, kBlack, "lens, outer ring"},
                        {4, 25, kBlack, "lens, inner ring"},
                        {2, 25, kWhite, "lens, between the rings"},
                        {25, 25, kBlack, "cross-hair centre"},
                        {20, 25, kWhite, "lens"},
                        {-12, 67, kGrey, "button 1"},
                        {60, 67, kGrey, "button 2"},
                        {25, 90, kGrey, "button 3"},
                        {25, 67, kGrey, "button 4"},
                        {25, 55, kBlack, "button 4, top edge"},
                        {-20, 40, kWhite, "outside the housing"},
                    });
  EXPECT_EQ(pictest::Count(*rig, Panel(*rig), kDarkGrey), 0);
}

TEST(Pictures, ThreeButtonStylus) {
  Rig rig(5);
  rig.White();
  rig->DrawThreeButtonStylus();
  ExpectProbes(rig, {
                        {0, 100, kBlack, "barrel, left"},
                        {30, 100, kBlack, "barrel, right"},
                        {15, 100, kWhite, "barrel inside"},
                        {15, -14, kBlack, "dome top"},
                        {15, -15, kWhite, "above the dome"},
                        {15, 5, kBlack, "ring 5"},
                        {15, 10, kBlack, "ring 10"},
                        {15, 15, kBlack, "ring 15"},
                        {15, 140, kBlack, "ring 140"},
                        {15, 235, kBlack, "ring 235"},
                        {15, 7, kWhite, "between rings"},
                        {15, 295, kBlack, "tip"},
                        {15, 300, kBlack, "tip end"},
                        {15, 301, kWhite, "below the tip"},
                        {15, 183, kBlack, "upper button, round top"},
                        {15, 197, kBlack, "upper button"},
                        {15, 212, kWhite, "between the side buttons"},
                        {15, 217, kBlack, "lower button"},
                        {15, 227, kBlack, "lower button, round bottom"},
                        {15, 231, kWhite, "below the lower button"},
                    });
  EXPECT_EQ(pictest::Count(*rig, Panel(*rig), kGrey), 0);
}

TEST(Pictures, TwoButtonStylus) {
  Rig rig(5);
  rig.White();
  rig->DrawTwoButtonStylus();
  ExpectProbes(rig, {
                        {0, 100, kBlack, "barrel, left"},
                        {30, 100, kBlack, "barrel, right"},
                        {15, 0, kBlack, "barrel, closed at the top"},
                        {15, 100, kWhite, "barrel inside"},
                        {15, 10, kBlack, "ring 10"},
                        {15, 35, kBlack, "ring 35"},
                        {15, 240, kBlack, "ring 240"},
                        {15, 255, kBlack, "ring 255"},
                        {15, 12, kWhite, "between rings"},
                        {15, 175, kGrey, "housing, above the button"},
                        {2, 190, kGrey, "housing, left"},
                        {28, 190, kGrey, "housing, right"},
                        {-1, 200, kBlack, "housing outline"},
                        {15, 205, kBlack, "side button, square top"},
                        {8, 203, kBlack, "side button, square corner"},
                        {15, 222, kBlack, "side button, round bottom"},
                        {8, 224, kWhite, "side button, rounded off"},
                        {15, 225, kWhite, "below the housing notch"},
                        {14, 292, kBlack, "tip"},
                        {15, 300, kBlack, "tip end"},
                        {15, 301, kWhite, "below the tip"},
                    });
  EXPECT_EQ(pictest::Count(*rig, Panel(*rig), kDarkGrey), 0);
}

TEST(Pictures, TheChoiceFollowsTheTransducerAndUnknownValuesDrawNothing) {
  Rig rig(5);
  struct Row {
    int transducer;
    gdi::POINT blackAt;  // design point that only this picture blackens
  } rows[] = {{2, {15, 20}}, {3, {15, -14}}, {4, {25, 50}}};
  for (const Row& r : rows) {
    rig.White();
    rig->m_transducer = vellum::Transducer(r.transducer);
    rig->DrawTransducerPicture();
    EXPECT_EQ(rig.PxAt(r.blackAt.x, r.blackAt.y), kBlack) << r.transducer;
    for (const Row& other : rows) {
      if (other.transducer == r.transducer) continue;
      EXPECT_EQ(rig.PxAt(other.blackAt.x, other.blackAt.y), kWhite)
          << r.transducer << " drew part of " << other.transducer;
    }
  }
  for (int unknown : {0, 1, 5, -1}) {
    rig.White();
    rig->m_transducer = vellum::Transducer(unknown);
    rig->DrawTransducerPicture();
    EXPECT_EQ(pictest::Count(*rig, Panel(*rig), kWhite), 148 * 768) << unknown;
  }
}

TEST(Pictures, TheAnchorStaysNearTheRightEdgeOnAWideScreen) {
  // 1920 x 1080: the cursor grows with the scale but its anchor stays 100 pixels from the edge,
  // so its right part (design x up to 80, 150 pixels here) is beyond the client area.
  Rig rig(5, 1920, 1080);
  EXPECT_EQ(rig->m_pictureOrigin, (gdi::POINT{1820, 155}));
  rig.White();
  rig->DrawFourButtonCursor();
  EXPECT_EQ(rig.PxAt(-30, 87), kBlack);                    // the body's left side is seen
  EXPECT_GT(rig.At(76, 55).x, 1920);                       // button 2's far corner is not
  EXPECT_EQ(rig.PxAt(60, 67), gdi::COLORREF(0xFFFFFFFF));  // off the surface
}

// Screenshots for a look by eye: VELLUM_PICTURE_SHOTS=DIR writes the side panel of each picture
// at 1024 x 768 and 1920 x 1080 there.
TEST(Pictures, PanelsForReview) {
  const char* dir = std::getenv("VELLUM_PICTURE_SHOTS");
  struct Screen {
    int w, h;
  } screens[] = {{1024, 768}, {1920, 1080}};
  for (const Screen& s : screens) {
    for (int model : {7, 5}) {
      Rig rig(model, s.w, s.h);
      for (int transducer : model == 7 ? std::vector<int>{4} : std::vector<int>{2, 3, 4}) {
        rig.White();
        rig->m_transducer = vellum::Transducer(transducer);
        rig->DrawTransducerPicture();
        const gdi::RECT panel = Panel(*rig);
        EXPECT_GT(pictest::Count(*rig, panel, kBlack), 200) << s.w << " " << model << transducer;
        if (!dir) continue;
        QDir().mkpath(dir);
        const QString name =
            QString("%1/picture-%2x%3-%4.png")
                .arg(dir)
                .arg(s.w)
                .arg(s.h)
                .arg(model == 7 ? QString("pressure") : QString("%1button").arg(transducer));
        rig.Snapshot().copy(panel.left, 0, panel.right - panel.left, panel.bottom).save(name);
      }
    }
  }
}

}  // namespace
