#include "fautil/ui/ShiftState.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>

#include "GuiMain.h"

namespace fautil {
namespace {

TEST(ShiftStateFromQt, NothingPressedIsEmpty) {
  EXPECT_EQ(ShiftKey(ShiftStateFromQt(Qt::NoModifier, Qt::NoButton)), 0);
}

TEST(ShiftStateFromQt, EachModifierAndButtonMapsToItsMember) {
  const struct {
    Qt::KeyboardModifiers modifiers;
    Qt::MouseButtons buttons;
    bool doubleClick;
    uint16_t mask;
  } table[] = {
      {Qt::ShiftModifier, Qt::NoButton, false, 0x01},
      {Qt::AltModifier, Qt::NoButton, false, 0x02},
      {Qt::ControlModifier, Qt::NoButton, false, 0x04},
      {Qt::NoModifier, Qt::LeftButton, false, 0x08},
      {Qt::NoModifier, Qt::RightButton, false, 0x10},
      {Qt::NoModifier, Qt::MiddleButton, false, 0x20},
      {Qt::NoModifier, Qt::NoButton, true, 0x40},
      {Qt::ShiftModifier | Qt::ControlModifier, Qt::NoButton, false, 0x05},
      {Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier,
       Qt::LeftButton | Qt::RightButton | Qt::MiddleButton, true, 0x7F},
      {Qt::MetaModifier | Qt::KeypadModifier, Qt::BackButton, false, 0x00},
  };
  for (const auto& row : table) {
    EXPECT_EQ(ShiftKey(ShiftStateFromQt(row.modifiers, row.buttons, row.doubleClick)), row.mask)
        << std::hex << row.mask;
  }
}

TEST(ShiftStateOf, MouseDoubleClickEvent) {
  const QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton,
                          Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(ShiftKey(ShiftStateOf(event)), 0x01 | 0x08 | 0x40);
}

TEST(ShiftStateOf, KeyEventHasOnlyModifiers) {
  const QKeyEvent event(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(ShiftKey(ShiftStateOf(event)), 0x06);
}

}  // namespace
}  // namespace fautil
