#include "fautil/ui/AlignForm.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "GuiMain.h"

namespace fautil {
namespace {

const QSize kScreen(1024, 768);
const QRect kForm(5, 5, 200, 100);  // somewhere; only its size matters

struct Placement {
  const char* name;
  QPoint origin;
  QRect rect;
  TAlign align;
  QPoint expected;
};

class AlignedForm : public ::testing::TestWithParam<Placement> {};

TEST_P(AlignedForm, PlacesBesideTheRectangle) {
  const Placement& p = GetParam();
  const QRect placed = AlignedFormRect(p.origin, p.rect, p.align, kForm, kScreen);
  EXPECT_EQ(placed.topLeft(), p.expected);
  EXPECT_EQ(placed.size(), kForm.size());
}

// Rectangles are x, y, width, height; a rectangle at y 10, height 20 has its
// bottom edge at 30.
INSTANTIATE_TEST_SUITE_P(
    Cases, AlignedForm,
    ::testing::Values(
        Placement{"TopWithoutRoomGoesBelow", {0, 0}, {50, 10, 80, 20}, TAlign::alTop, {50, 30}},
        Placement{"TopWithRoomGoesAboveOnePixelClear",
                  {0, 0},
                  {50, 500, 80, 20},
                  TAlign::alTop,
                  {50, 399}},
        Placement{
            "OriginMovesTheRectangle", {100, 400}, {50, 100, 80, 20}, TAlign::alTop, {150, 399}},
        Placement{
            "TopPulledBackFromTheRightEdge", {0, 0}, {900, 500, 80, 20}, TAlign::alTop, {824, 399}},
        Placement{
            "BottomWithRoomGoesBelow", {0, 0}, {50, 500, 80, 20}, TAlign::alBottom, {50, 520}},
        Placement{"BottomNearScreenEdgeGoesAbove",
                  {0, 0},
                  {50, 700, 80, 20},
                  TAlign::alBottom,
                  {50, 599}},
        Placement{"BottomAboveScreenTopIsClampedToZero",
                  {0, 0},
                  {50, 60, 80, 700},
                  TAlign::alBottom,
                  {50, 0}},
        Placement{
            "BottomLeftIsNotClamped", {-300, 0}, {50, 100, 80, 20}, TAlign::alBottom, {-250, 120}},
        Placement{"NoneStays", {0, 0}, {50, 100, 80, 20}, TAlign::alNone, {5, 5}},
        Placement{"LeftStays", {0, 0}, {50, 100, 80, 20}, TAlign::alLeft, {5, 5}},
        Placement{"RightStays", {0, 0}, {50, 100, 80, 20}, TAlign::alRight, {5, 5}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AlignedFormRect, ExactFitAboveUsesTheRowAboveTheTop) {
  // top 100, height 100: 100 - 100 >= 0, so above at 100 - 100 - 1 = -1, then 0.
  const QRect placed = AlignedFormRect({0, 0}, {50, 100, 80, 20}, TAlign::alTop, kForm, kScreen);
  EXPECT_EQ(placed.y(), 0);
}

TEST(AlignedFormRect, ClientTakesTheMovedRectangle) {
  const QRect placed =
      AlignedFormRect({10, 20}, {50, 100, 80, 30}, TAlign::alClient, kForm, kScreen);
  EXPECT_EQ(placed, QRect(60, 120, 80, 30));
}

TEST(AlignedFormRect, NegativeTopIsClampedEvenWhenNotMoved) {
  const QRect placed =
      AlignedFormRect({0, 0}, {0, 0, 1, 1}, TAlign::alNone, QRect(-40, -30, 200, 100), kScreen);
  EXPECT_EQ(placed.topLeft(), QPoint(-40, 0));
}

TEST(AlignForm, MovesAWidgetAgainstThePrimaryScreen) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QSize size = screen->size();
  QWidget form;
  form.resize(120, 80);
  const QRect rect(10, size.height() - 30, 40, 20);
  AlignForm({0, 0}, rect, TAlign::alBottom, &form);
  EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(10, size.height() - 30 - 80 - 1));

  AlignForm({0, 0}, {30, 40, 50, 60}, TAlign::alClient, &form);
  EXPECT_EQ(form.geometry(), QRect(30, 40, 50, 60));
  AlignForm({0, 0}, rect, TAlign::alTop, nullptr);
}

}  // namespace
}  // namespace fautil
