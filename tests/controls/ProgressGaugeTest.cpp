#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPalette>
#include <QSet>

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>

#include "OverlayBitmap.h"
#include "ProgressGauge.h"

namespace kv37 {
namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kDialSurround = 0xFF808080;
constexpr int kUtilityMax = 511;

// The operator window's gauge, with a fixed font and surround colour so the
// pictures do not depend on the desktop.
std::unique_ptr<TProgressGauge> UtilityGauge() {
  auto g = std::make_unique<TProgressGauge>();
  g->setGeometry(40, 288, 361, 25);
  g->SetForeColor(Qt::blue);
  g->SetMaxValue(kUtilityMax);
  QFont font("Liberation Sans");
  font.setPixelSize(14);
  g->setFont(font);
  QPalette palette = g->palette();
  palette.setColor(QPalette::Window, QColor(kDialSurround));
  g->setPalette(palette);
  return g;
}

// The smallest progress of the utility's gauge that shows `percent`.
int ProgressFor(int percent) {
  return (percent * kUtilityMax + 99) / 100;
}

std::unique_ptr<TProgressGauge> UtilityGaugeAt(int percent, TProgressGaugeKind kind,
                                               bool showText = false) {
  auto g = UtilityGauge();
  g->SetKind(kind);
  g->SetShowText(showText);
  g->SetProgress(ProgressFor(percent));
  EXPECT_EQ(g->GetPercentDone(), percent);
  return g;
}

std::string Hex(QRgb c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", c);
  return buf;
}

// --- percentage and setters ---------------------------------------------

TEST(ProgressGaugeDefaults, MatchTheDesignDefaults) {
  TProgressGauge g;
  EXPECT_EQ(g.size(), QSize(100, 100));
  EXPECT_EQ(g.Kind(), TProgressGaugeKind::gkHorizontalBar);
  EXPECT_TRUE(g.ShowText());
  EXPECT_EQ(g.BorderStyle(), TBorderStyle::bsSingle);
  EXPECT_EQ(g.ForeColor(), QColor(Qt::black));
  EXPECT_EQ(g.BackColor(), QColor(Qt::white));
  EXPECT_EQ(g.MinValue(), 0);
  EXPECT_EQ(g.MaxValue(), 100);
  EXPECT_EQ(g.Progress(), 0);
}

struct PercentCase {
  const char* name;
  int32_t min, max, progress;
  int32_t percent;
};

class PercentDone : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentDone, IsTheWholePercentageRoundedDown) {
  const PercentCase& c = GetParam();
  TProgressGauge g;
  g.SetMinValue(INT_MIN);  // so that any maximum is accepted
  g.SetMaxValue(c.max);
  g.SetMinValue(c.min);
  g.SetProgress(c.progress);
  EXPECT_EQ(g.GetPercentDone(), c.percent);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PercentDone,
    ::testing::Values(PercentCase{"FivePagesIsStillZero", 0, 511, 5, 0},
                      PercentCase{"SixPagesIsOne", 0, 511, 6, 1},
                      PercentCase{"HalfOfTheImage", 0, 511, 256, 50},
                      PercentCase{"LastPage", 0, 511, 511, 100},
                      PercentCase{"OffsetRange", 100, 200, 150, 50},
                      PercentCase{"NegativeRange", -200, -100, -101, 99},
                      PercentCase{"EmptyRangeIsZero", 7, 7, 7, 0},
                      PercentCase{"WidestRangeDoesNotWrap", INT_MIN, INT_MAX, 0, 50},
                      PercentCase{"WidestRangeFull", INT_MIN, INT_MAX, INT_MAX, 100}),
    [](const auto& info) { return info.param.name; });

struct ClampCase {
  const char* name;
  int32_t value;
  int32_t stored;
};

class ProgressClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ProgressClamp, StoresTheNearerBound) {
  TProgressGauge g;
  g.SetMaxValue(50);
  g.SetMinValue(-50);
  g.SetProgress(GetParam().value);
  EXPECT_EQ(g.Progress(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Values, ProgressClamp,
                         ::testing::Values(ClampCase{"Inside", 10, 10},
                                           ClampCase{"BelowMin", -51, -50},
                                           ClampCase{"FarBelowMin", INT_MIN, -50},
                                           ClampCase{"AboveMax", 51, 50},
                                           ClampCase{"FarAboveMax", INT_MAX, 50}),
                         [](const auto& info) { return info.param.name; });

TEST(AddProgress, SaturatesInsteadOfOverflowing) {
  TProgressGauge g;
  g.SetProgress(100);
  g.AddProgress(INT_MAX);
  EXPECT_EQ(g.Progress(), 100);
  g.SetMinValue(INT_MIN);
  g.SetProgress(INT_MIN);
  g.AddProgress(INT_MIN);
  EXPECT_EQ(g.Progress(), INT_MIN);
  g.AddProgress(5);
  EXPECT_EQ(g.Progress(), INT_MIN + 5);
}

TEST(RangeSetters, MovingABoundPastProgressDragsItAlong) {
  TProgressGauge g;
  g.SetProgress(30);
  g.SetMinValue(40);
  EXPECT_EQ(g.Progress(), 40);
  g.SetProgress(90);
  g.SetMaxValue(60);
  EXPECT_EQ(g.Progress(), 60);
}

TEST(RangeSetters, AnEqualMinimumAndMaximumIsAcceptedAndShowsZero) {
  TProgressGauge g;
  g.SetProgress(100);
  g.SetMinValue(100);
  EXPECT_EQ(g.MinValue(), 100);
  EXPECT_EQ(g.GetPercentDone(), 0);

  TProgressGauge h;
  h.SetMinValue(20);
  h.SetMaxValue(20);
  EXPECT_EQ(h.MaxValue(), 20);
  EXPECT_EQ(h.Progress(), 20);
  EXPECT_EQ(h.GetPercentDone(), 0);
}

TEST(RangeSetters, MaximumOfZeroIsIgnoredEvenWhenItWouldBeValid) {
  TProgressGauge g;
  g.SetMinValue(-10);
  g.SetMaxValue(0);
  EXPECT_EQ(g.MaxValue(), 100);
}

struct RangeErrorCase {
  const char* name;
  void (*act)(TProgressGauge&);
  const char* message;
};

class RangeErrors : public ::testing::TestWithParam<RangeErrorCase> {};

TEST_P(RangeErrors, ThrowTheFilledMessageAndLeaveTheGaugeAlone) {
  TProgressGauge g;
  g.SetProgress(42);
  try {
    GetParam().act(g);
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
  EXPECT_EQ(g.MinValue(), 0);
  EXPECT_EQ(g.MaxValue(), 100);
  EXPECT_EQ(g.Progress(), 42);
}

INSTANTIATE_TEST_SUITE_P(
    Setters, RangeErrors,
    ::testing::Values(RangeErrorCase{"MinimumAboveMaximum",
                                     [](TProgressGauge& g) { g.SetMinValue(101); },
                                     "Value must be between -2147483647 and 99"},
                      RangeErrorCase{"MaximumBelowMinimum",
                                     [](TProgressGauge& g) { g.SetMaxValue(-1); },
                                     "Value must be between 1 and 2147483647"}),
    [](const auto& info) { return info.param.name; });

TEST(RangeErrors, BoundsAtTheEndsOfTheIntegerRangeDoNotWrap) {
  TProgressGauge g;
  g.SetMinValue(INT_MIN);
  g.SetMaxValue(INT_MIN);
  EXPECT_THROW(
      {
        try {
          g.SetMinValue(0);
        } catch (const std::out_of_range& e) {
          EXPECT_STREQ(e.what(), "Value must be between -2147483647 and -2147483649");
          throw;
        }
      },
      std::out_of_range);

  TProgressGauge h;
  h.SetMaxValue(INT_MAX);
  h.SetMinValue(INT_MAX);
  EXPECT_THROW(
      {
        try {
          h.SetMaxValue(5);
        } catch (const std::out_of_range& e) {
          EXPECT_STREQ(e.what(), "Value must be between 2147483648 and 2147483647");
          throw;
        }
      },
      std::out_of_range);
}

// --- repaints ------------------------------------------------------------

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class Repaints : public ::testing::Test {
 protected:
  void SetUp() override {
    gauge_ = UtilityGauge();
    gauge_->show();
    QApplication::processEvents();
    gauge_->installEventFilter(&counter_);
  }

  // Paints caused by `act`, counted without letting the event loop run.
  template <typename F>
  int PaintsFrom(F act) {
    counter_.paints = 0;
    act(*gauge_);
    return counter_.paints;
  }

  std::unique_ptr<TProgressGauge> gauge_;
  PaintCounter counter_;
};

TEST_F(Repaints, ProgressRepaintsOnlyWhenTheWholePercentageChanges) {
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(5); }), 0);  // still 0 %
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(6); }), 1);  // 1 %
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(6); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(10); }), 0);  // still 1 %
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(9999); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetProgress(600); }), 0);  // clamped to the same
}

TEST_F(Repaints, AddProgressAlwaysRepaintsOnce) {
  EXPECT_EQ(PaintsFrom([](auto& g) { g.AddProgress(0); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.AddProgress(1); }), 1);  // 0 % to 0 %
  EXPECT_EQ(PaintsFrom([](auto& g) { g.AddProgress(300); }), 1);
  EXPECT_EQ(gauge_->Progress(), 301);
}

TEST_F(Repaints, PropertySettersRepaintOnlyOnChange) {
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetKind(TProgressGaugeKind::gkHorizontalBar); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetKind(TProgressGaugeKind::gkPie); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetShowText(true); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetShowText(false); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetBorderStyle(TBorderStyle::bsSingle); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetBorderStyle(TBorderStyle::bsNone); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetForeColor(Qt::blue); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetForeColor(Qt::red); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetBackColor(Qt::white); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetBackColor(Qt::gray); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetMinValue(0); }), 0);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetMinValue(1); }), 1);
}

TEST_F(Repaints, MaximumIsReappliedUnlessZero) {
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetMaxValue(kUtilityMax); }), 1);
  EXPECT_EQ(PaintsFrom([](auto& g) { g.SetMaxValue(0); }), 0);
  EXPECT_EQ(gauge_->MaxValue(), kUtilityMax);
}

// Also run on a screen scaled by QT_SCALE_FACTOR=2, where the picture must
// come in device pixels rather than be blown up by the toolkit.
TEST_F(Repaints, TheScreenShowsThePaintedImageAtItsPixelRatio) {
  gauge_->SetShowText(true);
  gauge_->SetProgress(256);
  const qreal ratio = gauge_->devicePixelRatioF();
  const QImage shown = gauge_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown.size(), gauge_->size() * ratio);
  EXPECT_EQ(shown, gauge_->PaintToImage(ratio));
}

// --- pictures of the utility's gauge -------------------------------------

bool OnFrame(int x, int y) {
  return x == 0 || y == 0 || x == 360 || y == 24;
}

void ExpectBlackFrame(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (OnFrame(x, y)) {
        ASSERT_EQ(img.pixel(x, y), kBlack) << "frame at " << x << "," << y;
      }
}

struct BarCase {
  int percent;
  int fillRight;  // first column of the horizontal bar left unfilled
  int fillTop;    // first row of the vertical bar that is filled
};

class BarPictures : public ::testing::TestWithParam<BarCase> {};

TEST_P(BarPictures, HorizontalFillEndsJustBeforeColumnThreePointSixTimesPercent) {
  const auto g = UtilityGaugeAt(GetParam().percent, TProgressGaugeKind::gkHorizontalBar);
  const QImage img = g->PaintToImage();
  ASSERT_EQ(img.size(), QSize(361, 25));
  ExpectBlackFrame(img);
  for (int y = 1; y < 24; ++y)
    for (int x = 1; x < 360; ++x)
      ASSERT_EQ(img.pixel(x, y), x < GetParam().fillRight ? kBlue : kWhite)
          << "at " << x << "," << y;
}

TEST_P(BarPictures, VerticalFillRisesFromTheBottom) {
  const auto g = UtilityGaugeAt(GetParam().percent, TProgressGaugeKind::gkVerticalBar);
  const QImage img = g->PaintToImage();
  ExpectBlackFrame(img);
  for (int y = 1; y < 24; ++y)
    for (int x = 1; x < 360; ++x)
      ASSERT_EQ(img.pixel(x, y), y >= GetParam().fillTop ? kBlue : kWhite)
          << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Percentages, BarPictures,
                         ::testing::Values(BarCase{0, 1, 24}, BarCase{1, 3, 24},
                                           BarCase{50, 180, 12}, BarCase{99, 356, 1},
                                           BarCase{100, 360, 1}),
                         [](const auto& info) { return std::to_string(info.param.percent); });

TEST(BarPicture, WithoutBorderThereIsNoFrame) {
  auto g = UtilityGauge();
  g->SetShowText(false);
  g->SetBorderStyle(TBorderStyle::bsNone);
  const QImage img = g->PaintToImage();
  EXPECT_EQ(img.pixel(0, 0), kWhite);
  EXPECT_EQ(img.pixel(360, 24), kWhite);
  g->SetProgress(kUtilityMax);
  EXPECT_EQ(g->PaintToImage().pixel(0, 0), kBlue);
}

TEST(TextPicture, ATwentyFourPixelTextStartsAtColumn168) {
  EXPECT_EQ(TProgressGauge::TextOrigin(TRect{1, 1, 360, 24}, 24, 16), QPoint(168, 4));
  // Not offset by the paint rectangle's left and top edges.
  EXPECT_EQ(TProgressGauge::TextOrigin(TRect{0, 0, 359, 23}, 24, 16), QPoint(168, 4));
}

// Columns of the text pixels: neither the bar's nor the background's colour.
struct TextPixels {
  int left = INT_MAX, right = -1, top = INT_MAX;
  int yellow = 0, black = 0, other = 0;
};

TextPixels ScanText(const QImage& img, int barRight) {
  TextPixels t;
  for (int y = 1; y < 24; ++y)
    for (int x = 1; x < 360; ++x) {
      const QRgb c = img.pixel(x, y);
      const QRgb plain = x < barRight ? kBlue : kWhite;
      if (c == plain) continue;
      t.left = std::min(t.left, x);
      t.right = std::max(t.right, x);
      t.top = std::min(t.top, y);
      if (c == kYellow && x < barRight)
        ++t.yellow;
      else if (c == kBlack && x >= barRight)
        ++t.black;
      else
        ++t.other;
    }
  return t;
}

TEST(TextPicture, IsCentredAndInvertsWhatLiesBeneath) {
  const auto g = UtilityGaugeAt(50, TProgressGaugeKind::gkHorizontalBar, true);
  const QImage img = g->PaintToImage();
  ExpectBlackFrame(img);
  QFont aliased(g->font());
  aliased.setStyleStrategy(QFont::NoAntialias);
  const QFontMetrics fm(aliased);
  const QPoint origin =
      TProgressGauge::TextOrigin({1, 1, 360, 24}, fm.horizontalAdvance("50%"), fm.height());

  const TextPixels t = ScanText(img, 180);
  EXPECT_GE(t.left, origin.x());
  EXPECT_LE(t.left, origin.x() + 2);  // the first glyph's side bearing
  EXPECT_LE(t.right, origin.x() + fm.horizontalAdvance("50%"));
  EXPECT_GE(t.top, origin.y());
  EXPECT_GT(t.yellow, 0) << "text over the bar";
  EXPECT_GT(t.black, 0) << "text over the background";
  EXPECT_EQ(t.other, 0) << "only inverted colours, no smoothing";
}

TEST(TextPicture, TextOnlyKindShowsThePercentageOnTheBackground) {
  const auto g = UtilityGaugeAt(100, TProgressGaugeKind::gkText, true);
  const TextPixels t = ScanText(g->PaintToImage(), 0);
  EXPECT_GT(t.black, 0);
  EXPECT_EQ(t.other, 0);
}

TEST(TextPicture, EmptyRangeReadsZeroPercentOverAnEmptyBar) {
  auto g = UtilityGauge();
  g->SetMinValue(kUtilityMax);
  const QImage withText = g->PaintToImage();
  EXPECT_EQ(ScanText(withText, 0).other, 0);  // no bar under the text
  g->SetShowText(false);
  const QImage bare = g->PaintToImage();
  const auto zero = UtilityGaugeAt(0, TProgressGaugeKind::gkHorizontalBar, true);
  EXPECT_EQ(withText, zero->PaintToImage());
  EXPECT_NE(withText, bare);
}

TEST(TextPicture, OversizedTextIsClippedInsideTheFrame) {
  auto g = UtilityGaugeAt(50, TProgressGaugeKind::gkHorizontalBar, true);
  QFont huge("Liberation Sans");
  huge.setPixelSize(60);
  g->setFont(huge);
  ExpectBlackFrame(g->PaintToImage());
}

// --- high-DPI: a 2x picture against the 1x one blown up --------------------

QImage Doubled(const QImage& img) {
  return img.scaled(img.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

struct DoubledCase {
  const char* name;
  TProgressGaugeKind kind;
  int percent;
  bool exactOutsideText;  // bars: every edge on the doubled 1x pixels
};

class HighDpi : public ::testing::TestWithParam<DoubledCase> {};

TEST_P(HighDpi, EdgesStayWhereTheyWereAndTextGetsTheExtraPixels) {
  const DoubledCase& c = GetParam();
  const auto g = UtilityGaugeAt(c.percent, c.kind, true);
  const QImage one = g->PaintToImage();
  const QImage two = g->PaintToImage(2.0);
  ASSERT_EQ(two.size(), QSize(722, 50));
  EXPECT_EQ(two.devicePixelRatio(), 2.0);
  const QImage blownUp = Doubled(one);

  // The text box: where either picture with text differs from the same one
  // without, in 2x pixels. Outside it lie the frame and the fill edges.
  g->SetShowText(false);
  const QImage bareOne = Doubled(g->PaintToImage());
  const QImage bareTwo = g->PaintToImage(2.0);
  g->SetShowText(true);
  QRect text2;
  for (int y = 0; y < two.height(); ++y)
    for (int x = 0; x < two.width(); ++x)
      if (blownUp.pixel(x, y) != bareOne.pixel(x, y) || two.pixel(x, y) != bareTwo.pixel(x, y))
        text2 |= QRect(x, y, 1, 1);
  ASSERT_FALSE(text2.isEmpty());

  // Sharp means aliased: only colours the 1x picture already has.
  QSet<QRgb> palette;
  for (int y = 0; y < one.height(); ++y)
    for (int x = 0; x < one.width(); ++x) palette.insert(one.pixel(x, y));

  int textDiffers = 0;
  for (int y = 0; y < two.height(); ++y)
    for (int x = 0; x < two.width(); ++x) {
      const QRgb c2 = two.pixel(x, y);
      ASSERT_TRUE(palette.contains(c2)) << "blended colour " << Hex(c2) << " at " << x << "," << y;
      const bool inText = text2.contains(x, y);
      if (inText && c2 != blownUp.pixel(x, y)) ++textDiffers;
      if (!inText && c.exactOutsideText) {
        ASSERT_EQ(c2, blownUp.pixel(x, y)) << "edge moved at " << x << "," << y;
      }
    }
  EXPECT_GT(textDiffers, 0) << "the text is the 1x glyphs blown up";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HighDpi,
    ::testing::Values(DoubledCase{"EmptyBar", TProgressGaugeKind::gkHorizontalBar, 0, true},
                      DoubledCase{"HalfBar", TProgressGaugeKind::gkHorizontalBar, 50, true},
                      DoubledCase{"FullBar", TProgressGaugeKind::gkHorizontalBar, 100, true},
                      DoubledCase{"TextOnly", TProgressGaugeKind::gkText, 37, true},
                      DoubledCase{"Pie", TProgressGaugeKind::gkPie, 60, false},
                      DoubledCase{"Needle", TProgressGaugeKind::gkNeedle, 60, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OverlayBitmap, SizeLikeTakesThePatternsSizeInTheWindowFrameColour) {
  QImage pattern(7, 3, QImage::Format_RGB32);
  pattern.fill(Qt::red);
  TOverlayBitmap overlay;
  overlay.SizeLike(pattern);
  EXPECT_EQ(overlay.size(), QSize(7, 3));
  EXPECT_EQ(overlay.format(), QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(overlay.pixelColor(x, y), kWindowFrameColor);

  overlay.SizeLike(QImage());
  EXPECT_TRUE(overlay.isNull());
}

struct PixelCase {
  const char* name;
  TProgressGaugeKind kind;
  int percent;
  int x, y;
  QRgb colour;
};

class DialPictures : public ::testing::TestWithParam<PixelCase> {};

TEST_P(DialPictures, TellingPixel) {
  const PixelCase& c = GetParam();
  const auto g = UtilityGaugeAt(c.percent, c.kind);
  const QImage img = g->PaintToImage();
  EXPECT_EQ(Hex(img.pixel(c.x, c.y)), Hex(c.colour)) << "at " << c.x << "," << c.y;
}

constexpr auto kPie = TProgressGaugeKind::gkPie;
constexpr auto kNeedle = TProgressGaugeKind::gkNeedle;

INSTANTIATE_TEST_SUITE_P(
    Pixels, DialPictures,
    ::testing::Values(
        // Pie: the ellipse fills the inside; the sector grows clockwise from the top.
        PixelCase{"PieCornerIsSurround", kPie, 50, 2, 2, kDialSurround},
        PixelCase{"PieFrameStaysBlack", kPie, 50, 0, 0, kBlack},
        PixelCase{"PieOutlineAtTop", kPie, 0, 180, 1, kBlue},
        PixelCase{"PieEmptyAtZero", kPie, 0, 270, 12, kWhite},
        PixelCase{"PieEmptyLeftAtZero", kPie, 0, 90, 12, kWhite},
        PixelCase{"PieQuarterFillsUpperRight", kPie, 25, 250, 6, kBlue},
        PixelCase{"PieQuarterLeavesLowerRight", kPie, 25, 250, 18, kWhite},
        PixelCase{"PieHalfFillsRight", kPie, 50, 270, 12, kBlue},
        PixelCase{"PieHalfLeavesLeft", kPie, 50, 90, 12, kWhite},
        PixelCase{"PieFullFillsLeft", kPie, 100, 90, 12, kBlue},
        PixelCase{"PieFullFillsRight", kPie, 100, 270, 12, kBlue},
        PixelCase{"PieFullFillsNearTheTop", kPie, 100, 179, 3, kBlue},
        PixelCase{"PieFullKeepsCorner", kPie, 100, 2, 2, kDialSurround},
        // Needle: a semicircular dial, the needle pivoting at the middle of the control.
        PixelCase{"NeedleCornerIsSurround", kNeedle, 0, 2, 2, kDialSurround},
        PixelCase{"NeedleDialTop", kNeedle, 0, 180, 1, kBlue},
        PixelCase{"NeedleDialInside", kNeedle, 0, 180, 10, kWhite},
        PixelCase{"NeedleAtZeroLiesLeft", kNeedle, 0, 60, 23, kBlue},
        PixelCase{"NeedleAtZeroNotRight", kNeedle, 0, 330, 22, kWhite},
        PixelCase{"NeedleAtHalfPointsUp", kNeedle, 50, 179, 8, kBlue},
        PixelCase{"NeedleAtHalfNotRight", kNeedle, 50, 330, 22, kWhite},
        PixelCase{"NeedleAtFullLiesRight", kNeedle, 100, 330, 22, kBlue},
        PixelCase{"NeedleAtFullNotUp", kNeedle, 100, 179, 8, kWhite}),
    [](const auto& info) { return info.param.name; });

TEST(TinyGauges, PaintEveryKindWithoutFault) {
  const TProgressGaugeKind kinds[] = {TProgressGaugeKind::gkText,
                                      TProgressGaugeKind::gkHorizontalBar,
                                      TProgressGaugeKind::gkVerticalBar, kPie, kNeedle};
  for (int side = 0; side <= 3; ++side)
    for (TProgressGaugeKind kind : kinds)
      for (TBorderStyle border : {TBorderStyle::bsNone, TBorderStyle::bsSingle}) {
        TProgressGauge g;
        g.resize(side, side);
        g.SetKind(kind);
        g.SetBorderStyle(border);
        g.SetProgress(50);
        const QImage img = g.PaintToImage();
        EXPECT_EQ(img.size(), QSize(side, side));
      }
}

}  // namespace
}  // namespace kv37
