#pragma once
// A fresh operator window per test, shown and active, with the steps an
// operator takes through its controls.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Comm.h"
#include "Mainform.h"
#include "TempFile.h"
#include "UpdateFrames.h"
#include "WindowTestSupport.h"

namespace kv37::test {

inline std::vector<uint8_t> PageRequest(uint16_t page) {
  const uint16_t sum = kStx + kCmdPage + (page >> 8) + (page & 0xFF);
  return {kStx,
          kCmdPage,
          static_cast<uint8_t>(page >> 8),
          static_cast<uint8_t>(page & 0xFF),
          static_cast<uint8_t>(sum >> 8),
          static_cast<uint8_t>(sum & 0xFF),
          kEtx};
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OsImage.Clear();
    OsFileName.clear();
    form = std::make_unique<TForm1>();
    form->SetProgramEnd([this] { ++programEnds; });
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  void TearDown() override { form.reset(); }

  // "Read OS File" with `path` picked in the dialog (or the dialog cancelled).
  void Load(const std::string& path) {
    OnNextModal([path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      if (path.empty()) {
        dialog->reject();
        return;
      }
      PickInDialog(dialog, path);
    });
    form->ReadOSFile1->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  // As the operator would: type the path into the name field and press
  // Open. A typing operator has the focus in that field, which makes the
  // dialog drop what its list had selected before; the focus is not ours to
  // have on every desktop, so the selection is dropped here.
  static void PickInDialog(QFileDialog* dialog, const std::string& path) {
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    for (auto* list : dialog->findChildren<QAbstractItemView*>()) list->clearSelection();
    name->setText(QString::fromStdString(path));
    QMetaObject::invokeMethod(dialog, "accept");
  }

  // The operator steps through the port box's list with the arrow keys.
  void ChoosePort(int index) {
    form->TComPort->setFocus();
    while (form->TComPort->currentIndex() < index) QTest::keyClick(form->TComPort, Qt::Key_Down);
    while (form->TComPort->currentIndex() > index) QTest::keyClick(form->TComPort, Qt::Key_Up);
  }

  // Opens and closes the about box: one activation of the window.
  void VisitAboutBox() {
    OnNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); });
    form->About1->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  void Feed(const std::vector<uint8_t>& chunk) {
    form->Update->Comm1ReceiveData(chunk.data(), static_cast<uint16_t>(chunk.size()));
  }

  // The activation defaults, after any activation.
  void ExpectDefaults() {
    EXPECT_EQ(form->StationEdit->text(), "1");
    EXPECT_EQ(form->TComPort->currentText(), "COM1");
    EXPECT_EQ(form->TComPort->currentIndex(), 0);
    EXPECT_EQ(form->BaudItemIndex(), 3);
    EXPECT_EQ(form->Comm1->BaudRate(), 57600u);
    EXPECT_FALSE(form->BTn_OpenCom->isEnabled());
    EXPECT_FALSE(form->KV37_Mode->isEnabled());
    EXPECT_FALSE(form->Timer1->isActive());
  }

  TempDir files;
  std::unique_ptr<TForm1> form;
  int programEnds = 0;
};

}  // namespace kv37::test
