// The arithmetic behind form layout: scaling for the screen, anchors and centring.
#include <gtest/gtest.h>

#include <vector>

#include "ui/uLayout.h"

using namespace layout;

TEST(UiLayout, FontHeightFollowsDpi) {
  struct Case { int design, dpi, expected; };
  const std::vector<Case> cases = {
      {-12, 96, -12}, {-12, 120, -15}, {-12, 144, -18}, {-12, 192, -24},
      {-13, 120, -16},  // -16.25
      {-12, 100, -13},  // -12.5 rounds away from zero, as MulDiv does
      {-13, 72, -10},   // -9.75
  };
  for (const auto& c : cases)
    EXPECT_EQ(FontHeightForDpi(c.design, c.dpi), c.expected) << c.design << " at " << c.dpi;
}

TEST(UiLayout, TextHeightScaleOnlyWhenItDiffers) {
  EXPECT_TRUE(TextHeightScale(12, 12).IsIdentity());
  EXPECT_TRUE(TextHeightScale(0, 12).IsIdentity()) << "a failed measurement scales nothing";
  const TScale s = TextHeightScale(15, 12);
  EXPECT_EQ(s.num, 15);
  EXPECT_EQ(s.den, 12);
  struct Case { int measured, value, expected; };
  const std::vector<Case> cases = {
      {12, 882, 882}, {15, 882, 1103},  // 1102.5
      {15, 628, 785}, {14, 874, 1020},  // 1019.67
      {16, 41, 55},   {15, -13, -16},   // fonts scale the same way, -16.25
      {24, 9, 18},    {11, 9, 8},       // 8.25
  };
  for (const auto& c : cases)
    EXPECT_EQ(Scaled(c.value, TextHeightScale(c.measured, 12)), c.expected)
        << c.value << " at text height " << c.measured;
}

TEST(UiLayout, ScaledRectKeepsTouchingEdgesTogether) {
  const TScale s{15, 12};
  // The text box ends exactly where the button bar begins, at any scale.
  const TRect memo = ScaledRect({8, 64, 857, 489}, s);
  const TRect panel = ScaledRect({0, 553, 874, 41}, s);
  EXPECT_EQ(memo.bottom(), panel.top);
  EXPECT_EQ(ScaledRect({8, 64, 857, 489}, TScale{}), (TRect{8, 64, 857, 489}));
  // Right edge 865 -> 1081.25 -> 1081, left 8 -> 10: width is the difference, not 857 * 1.25.
  EXPECT_EQ(memo.width, 1071);
}

TEST(UiLayout, AnchorsKeepTheirDistances) {
  const TRect d{100, 50, 200, 20};
  struct Case { unsigned anchors; int dw, dh; TRect expected; };
  const std::vector<Case> cases = {
      {akLeftTop, 40, 30, {100, 50, 200, 20}},
      {akLeftTop | akRight, 40, 30, {100, 50, 240, 20}},
      {akTop | akRight, 40, 30, {140, 50, 200, 20}},
      {akLeftTop | akRight | akBottom, 40, 30, {100, 50, 240, 50}},
      {akLeft | akBottom, 40, 30, {100, 80, 200, 20}},
      {0, 40, 30, {120, 65, 200, 20}},  // neither side: the centre stays centred
      {akLeftTop | akRight, -250, 0, {100, 50, 0, 20}},  // never a negative size
      {akTop | akRight, -8, -7, {92, 50, 200, 20}},     // a smaller client area than designed
  };
  for (const auto& c : cases) {
    const TRect r = AnchoredRect(d, c.anchors, c.dw, c.dh);
    EXPECT_EQ(r, c.expected) << "anchors " << c.anchors << ": " << r.left << "," << r.top << " "
                             << r.width << "x" << r.height;
  }
}

TEST(UiLayout, RepeatedResizingAccumulatesNothing) {
  const TRect d{632, 8, 113, 25};
  TRect r = d;
  for (int dw : {13, -7, 250, 1, 0}) r = AnchoredRect(d, akTop | akRight, dw, 0);
  EXPECT_EQ(r, d);
}

TEST(UiLayout, CentringTruncatesAndNeverGoesNegative) {
  struct Case { int origin, area, size, expected; };
  const std::vector<Case> cases = {
      {0, 1280, 882, 199},  {0, 1024, 628, 198}, {0, 1281, 882, 199},
      {0, 800, 882, 0},     // a screen smaller than the window
      {-1920, 1920, 882, 0},  // an owner on a monitor left of the primary one
      {100, 882, 470, 306}, {100, 881, 470, 305},
      {-50, 60, 69, 0},     // -50 + (-9 / 2) truncates to -54, raised to 0
  };
  for (const auto& c : cases)
    EXPECT_EQ(CentredOrigin(c.origin, c.area, c.size), c.expected)
        << c.origin << " " << c.area << " " << c.size;
}

// The note window's table as the layout sees it (design pixels, its anchors and alignment).
const TPlacement kNoteRows[] = {
    {-1, akLeftTop, TAlign::None, {8, 8, 64, 12}},
    {-1, akLeftTop | akRight, TAlign::None, {96, 32, 737, 20}},
    {-1, akTop | akRight, TAlign::None, {720, 8, 113, 22}},
    {-1, akLeftTop | akRight | akBottom, TAlign::None, {8, 64, 857, 489}},
    {-1, akLeftTop, TAlign::Bottom, {0, 553, 874, 41}},
    {4, akLeftTop, TAlign::None, {8, 8, 97, 25}},
    {4, akTop | akRight, TAlign::None, {760, 8, 105, 25}},
};
constexpr std::size_t kNoteRowCount = sizeof kNoteRows / sizeof kNoteRows[0];

// Places the table at a scale for a client area `extra` pixels larger than the design's.
std::vector<TRect> PlaceAt(TScale s, int extraW, int extraH) {
  std::vector<TPlacement> rows(kNoteRows, kNoteRows + kNoteRowCount);
  for (auto& r : rows) r.base = ScaledRect(r.base, s);
  std::vector<TRect> out(kNoteRowCount);
  const int w = Scaled(874, s), h = Scaled(594, s);
  PlaceAll(rows.data(), rows.size(), w + extraW, h + extraH, w, h, out.data());
  return out;
}

TEST(UiLayout, ChangesOfScaleLeaveNoTrace) {
  const std::vector<TRect> at96 = PlaceAt(TScale{}, 0, 0);
  // 96 -> 144 -> 120 -> 96, as WM_DPICHANGED would take the window: each from the design.
  std::vector<TRect> r;
  for (TScale s : {TScale{18, 12}, TScale{15, 12}, TScale{12, 12}}) r = PlaceAt(s, 0, 0);
  EXPECT_EQ(r, at96);
  EXPECT_EQ(at96[6], (TRect{760, 561, 105, 25}));  // "취소" in the button bar
}

TEST(UiLayout, AnchorsHoldAfterAResizeAt150Percent) {
  const TScale s{18, 12};
  const std::vector<TRect> before = PlaceAt(s, 0, 0), after = PlaceAt(s, -120, 75);
  const int w = Scaled(874, s);
  // Right-anchored controls keep their distance to the right edge, the text box stretches,
  // the button bar stays at the bottom, its left button where it was.
  // Edges are scaled, not distances: 874 - 833 at 150 % is 1311 - 1250.
  EXPECT_EQ(w - before[2].right(), Scaled(874, s) - Scaled(833, s));
  EXPECT_EQ((w - 120) - after[2].right(), w - before[2].right());
  EXPECT_EQ(after[3].width, before[3].width - 120);
  EXPECT_EQ(after[3].height, before[3].height + 75);
  EXPECT_EQ(after[4].top, before[4].top + 75);
  EXPECT_EQ(after[5].left, before[5].left);
  EXPECT_EQ(after[6].left, before[6].left - 120);
  EXPECT_EQ(after[3].bottom(), after[4].top);
}
