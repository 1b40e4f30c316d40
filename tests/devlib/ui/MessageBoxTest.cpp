#include "fautil/ui/MessageBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "GuiMain.h"
#include "fautil/ui/StringResource.h"

namespace fautil {
namespace {

using Buttons = QMessageBox::StandardButtons;

TEST(StringResource, KnownUnknownAndOverlongIds) {
  RegisterStringTable({{1, "Port busy"}, {2, "KV-37"}, {3, QString(2000, 'x')}});
  EXPECT_EQ(LoadStr(1), "Port busy");
  EXPECT_EQ(LoadStr(2), "KV-37");
  EXPECT_EQ(LoadStr(99), "");
  EXPECT_EQ(LoadStr(3).size(), kStringResourceMaxLength);
  RegisterStringTable({});
  EXPECT_EQ(LoadStr(1), "");
}

struct FlagCase {
  int32_t flags;
  QMessageBox::Icon icon;
  Buttons buttons;
  QMessageBox::StandardButton defaultButton;
};

class MessageBoxFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(MessageBoxFlags, MapToIconButtonsAndDefault) {
  const FlagCase& c = GetParam();
  const auto box = CreateMessageBox("text", "caption", c.flags);
  EXPECT_EQ(box->icon(), c.icon);
  EXPECT_EQ(box->standardButtons(), c.buttons);
  EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
  EXPECT_EQ(box->text(), "text");
  EXPECT_EQ(box->windowTitle(), "caption");
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageBoxFlags,
    ::testing::Values(
        FlagCase{kMbOk | kMbIconStop, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
        FlagCase{kMbOk | kMbIconExclamation, QMessageBox::Warning, QMessageBox::Ok,
                 QMessageBox::Ok},
        FlagCase{kMbOk | kMbIconInformation, QMessageBox::Information, QMessageBox::Ok,
                 QMessageBox::Ok},
        FlagCase{kMbYesNo | kMbIconQuestion | kMbDefButton2, QMessageBox::Question,
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
        FlagCase{kMbYesNoCancel | kMbDefButton3, QMessageBox::NoIcon,
                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel},
        FlagCase{kMbAbortRetryIgnore, QMessageBox::NoIcon,
                 QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort},
        FlagCase{kMbRetryCancel | kMbDefButton3, QMessageBox::NoIcon,
                 QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry},
        FlagCase{0xF | 0x70, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok}));

TEST(MessageBoxResult, IsTheIdentifierOfTheClickedButton) {
  const std::pair<QMessageBox::StandardButton, int32_t> table[] = {
      {QMessageBox::Ok, kIdOk},         {QMessageBox::Cancel, kIdCancel},
      {QMessageBox::Abort, kIdAbort},   {QMessageBox::Retry, kIdRetry},
      {QMessageBox::Ignore, kIdIgnore}, {QMessageBox::Yes, kIdYes},
      {QMessageBox::No, kIdNo},
  };
  for (const auto& [button, id] : table) {
    const auto box = CreateMessageBox("t", "c", kMbYesNoCancel);
    box->addButton(button);
    box->button(button)->click();
    EXPECT_EQ(MessageBoxResult(*box), id) << id;
  }
  const auto untouched = CreateMessageBox("t", "c", kMbOk);
  EXPECT_EQ(MessageBoxResult(*untouched), 0);
}

// Runs `check` on the modal box once it is shown, then presses `button`.
void WhenBoxShows(QMessageBox::StandardButton button, std::function<void(QMessageBox&)> check) {
  QTimer::singleShot(0, [button, check] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      ADD_FAILURE() << "no modal message box";
      return;
    }
    check(*box);
    box->button(button)->click();
  });
}

TEST(MessageBoxShortcuts, ShowResourcesWithFixedIconAndOk) {
  RegisterStringTable({{10, "Data Error"}, {11, "KV-37 Update"}});
  const std::pair<int32_t (*)(int32_t, int32_t), QMessageBox::Icon> table[] = {
      {ErrorBox, QMessageBox::Critical},
      {WarningBox, QMessageBox::Warning},
      {InformationBox, QMessageBox::Information},
  };
  for (const auto& [shortcut, icon] : table) {
    WhenBoxShows(QMessageBox::Ok, [icon = icon](QMessageBox& box) {
      EXPECT_EQ(box.text(), "Data Error");
      EXPECT_EQ(box.windowTitle(), "KV-37 Update");
      EXPECT_EQ(box.icon(), icon);
      EXPECT_EQ(box.standardButtons(), Buttons(QMessageBox::Ok));
    });
    EXPECT_EQ(shortcut(10, 11), kIdOk);
  }
}

TEST(MessageBoxShortcuts, MsgBoxPassesFlagsAndUnknownIdsGiveEmptyTexts) {
  RegisterStringTable({});
  WhenBoxShows(QMessageBox::No, [](QMessageBox& box) {
    EXPECT_EQ(box.text(), "");
    EXPECT_EQ(box.windowTitle(), "");
    EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
  });
  EXPECT_EQ(MsgBox(123, 456, kMbYesNo | kMbIconQuestion), kIdNo);
}

}  // namespace
}  // namespace fautil
