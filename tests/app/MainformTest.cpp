// Drives the real operator window through its controls, offscreen.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "About.h"
#include "Comm.h"
#include "Kv37Application.h"
#include "Mainform.h"
#include "OsImage.h"
#include "PortName.h"
#include "ProgressGauge.h"
#include "TempFile.h"
#include "UpdateFrames.h"
#include "WindowFixture.h"
#include "WindowPlacement.h"
#include "WindowTestSupport.h"

namespace kv37::test {
namespace {

TEST_F(WindowTest, StartsWithTheActivationDefaults) {
  ExpectDefaults();
  EXPECT_FALSE(form->BaudGroup->isEnabled());
  EXPECT_TRUE(form->BaudButtons->button(3)->isChecked());
  EXPECT_EQ(form->BaudButtons->button(3)->text(), "57600");
  EXPECT_TRUE(form->BTn_Exit->isEnabled());
  EXPECT_TRUE(form->StationEdit->isEnabled());
  EXPECT_TRUE(form->TComPort->isEnabled());
  EXPECT_FALSE(form->PageNo->isVisible());
  EXPECT_TRUE(form->Gauge1->isVisible());
  EXPECT_EQ(form->Gauge1->Progress(), 0);
  EXPECT_EQ(form->Gauge1->MaxValue(), 511);
  EXPECT_EQ(form->Label5->text(), " KV-37 OS Update Utility ");
  EXPECT_FALSE(form->Label3->isVisible());
  EXPECT_FALSE(form->Label4->isVisible());
  EXPECT_EQ(form->Comm1->CommName, "COM1");
  EXPECT_FALSE(form->Comm1->Outx_XonXoffFlow());
  EXPECT_FALSE(form->Comm1->IsOpen());
}

TEST_F(WindowTest, ControlsSitWhereTheDesignPutsThem) {
  EXPECT_EQ(form->windowTitle(), "KV-37 Update");
  EXPECT_EQ(form->centralWidget()->size(), QSize(432, 391));
  EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the window is not resizable";

  struct Placed {
    QWidget* widget;
    QRect rect;
  };
  const std::vector<Placed> design = {
      {form->StationEdit, {152, 16, 41, 21}}, {form->TComPort, {120, 72, 73, 21}},
      {form->BaudGroup, {240, 8, 129, 153}},  {form->BTn_OpenCom, {16, 120, 177, 41}},
      {form->KV37_Mode, {16, 176, 177, 41}},  {form->BTn_Exit, {272, 176, 97, 41}},
      {form->Gauge1, {40, 288, 361, 25}},
  };
  for (const Placed& p : design)
    EXPECT_EQ(p.widget->geometry(), p.rect) << p.widget->objectName().toStdString();

  // Labels start where the design puts them and are never smaller.
  const std::vector<Placed> labels = {
      {form->Label1, {8, 16, 133, 19}},
      {form->Label2, {8, 72, 90, 20}},
      {form->Label5, {40, 336, 375, 37}},
  };
  for (const Placed& p : labels) {
    EXPECT_EQ(p.widget->pos(), p.rect.topLeft()) << p.widget->objectName().toStdString();
    EXPECT_GE(p.widget->width(), p.rect.width()) << p.widget->objectName().toStdString();
  }

  const std::vector<QString> items = {"COM1", "COM2", "COM3", "COM4",  "COM5",  "COM6",
                                      "COM7", "COM8", "COM9", "COM10", "COM11", "COM12"};
  ASSERT_EQ(form->TComPort->count(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(form->TComPort->itemText(i), items[i]);

  const auto bar = form->menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0]->text(), "Fille");
  EXPECT_EQ(bar[1], form->About1);
  EXPECT_EQ(form->About1->text(), "About");
  ASSERT_EQ(form->Fille1->actions().size(), 2);
  EXPECT_EQ(form->Fille1->actions()[0]->text(), "Read OS File");
  EXPECT_EQ(form->Fille1->actions()[1]->text(), "Exit");
}

TEST_F(WindowTest, TabOrderFollowsTheDesign) {
  // The disabled baud group and buttons are skipped, as the operator sees it.
  form->StationEdit->setFocus();
  std::vector<QWidget*> visited;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(visited[0], form->TComPort);
  EXPECT_EQ(visited[1], form->BTn_Exit);
  EXPECT_EQ(visited[2], form->StationEdit);
}

TEST_F(WindowTest, LoadEnablesOpenComPortAndTheDialogsClosingKeepsTheOperatorsChoices) {
  form->StationEdit->setText("7");
  const std::string path = files.Write("os.bin", Pattern(1000));
  Load(path);
  QTest::qWait(50);  // let a late activation, if any, arrive

  EXPECT_TRUE(form->BTn_OpenCom->isEnabled());
  EXPECT_EQ(form->StationEdit->text(), "7");
  EXPECT_EQ(form->Label3->text().toStdString(), path);
  EXPECT_FALSE(form->Label3->isVisible());
  EXPECT_EQ(OsFileName, path);
  ASSERT_EQ(OsImage.Size(), kOsImageSize);
  EXPECT_EQ(OsImage.Memory()[999], Pattern(1000)[999]);
  EXPECT_EQ(OsImage.Memory()[1000], kPadByte);

  VisitAboutBox();
  ExpectDefaults();
}

TEST_F(WindowTest, CancelledDialogKeepsTheEarlierImage) {
  const std::string first = files.Write("first.bin", Pattern(300));
  Load(first);
  Load("");
  EXPECT_EQ(OsFileName, first);
  EXPECT_EQ(form->Label3->text().toStdString(), first);
  EXPECT_EQ(OsImage.Size(), kOsImageSize);
  EXPECT_TRUE(form->BTn_OpenCom->isEnabled());
}

TEST_F(WindowTest, LargerFileIsKeptWholeAndStillEnablesOpenComPort) {
  Load(files.Write("big.bin", Pattern(kOsImageSize + 1)));
  EXPECT_EQ(OsImage.Size(), kOsImageSize + 1);
  EXPECT_TRUE(form->BTn_OpenCom->isEnabled());
}

TEST_F(WindowTest, FailedProbeShowsTheErrorWithItsReasonAndReappliesTheDefaults) {
  struct Refusal {
    const char* why;
    std::string target;
    std::string detail;  // part of the box's detail text
  };
  const std::vector<Refusal> refusals = {
      {"not a port", files.Write("not-a-port", {1, 2, 3}), "not a serial port"},
      {"unplugged", files.Path("gone"), "not present"},
  };
  PortMap map;
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.why);
    map.Link("COM3", r.target);
    Load(files.Write("os.bin", Pattern(10)));
    ChoosePort(2);
    EXPECT_EQ(form->TComPort->currentText(), "COM3");

    SeenBox seen;
    DismissNextBox(seen);
    QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
    EXPECT_EQ(seen.text, "COM Port Open Error!!");
    EXPECT_EQ(seen.caption, Kv37Application::kTitle);
    EXPECT_NE(seen.detail.find(r.detail), std::string::npos) << seen.detail;
    EXPECT_NE(seen.detail.find(r.target), std::string::npos) << seen.detail;
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ExpectDefaults();
    EXPECT_FALSE(form->Comm1->IsOpen());
  }
}

TEST_F(WindowTest, TypedPortTextMatchesItsItemInAnyCase) {
  const std::vector<std::pair<QString, int>> typed = {
      {"com7", 6}, {"Com12", 11}, {"COM1", 0}, {"cOm2", 1}, {"com 7", -1}, {"com70", -1},
  };
  for (const auto& [text, index] : typed) {
    form->TComPort->lineEdit()->selectAll();
    QTest::keyClicks(form->TComPort->lineEdit(), text);
    EXPECT_EQ(form->ComPortItemIndex(), index) << text.toStdString();
  }
}

TEST_F(WindowTest, TypedPortNameThatIsNoItemProbesNoPort) {
  Load(files.Write("os.bin", Pattern(10)));
  form->TComPort->lineEdit()->selectAll();
  QTest::keyClicks(form->TComPort->lineEdit(), "ttyS0");
  EXPECT_EQ(form->ComPortItemIndex(), -1);

  SeenBox seen;
  DismissNextBox(seen);
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  EXPECT_EQ(seen.text, "COM Port Open Error!!");
}

class PortWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(unit.Valid());
    map.Link("COM2", unit.SlavePath());
    Load(files.Write("os.bin", Pattern(1000)));
    ChoosePort(1);
    QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
    ASSERT_TRUE(form->Comm1->IsOpen());
  }

  PtyPair unit;
  PortMap map;
};

TEST_F(PortWindowTest, OpenedPortEnablesStartAndChoosingAnotherPortClosesIt) {
  EXPECT_EQ(form->Comm1->CommName, "COM2");
  EXPECT_TRUE(form->KV37_Mode->isEnabled());

  ChoosePort(4);
  EXPECT_FALSE(form->Comm1->IsOpen());
  EXPECT_FALSE(form->KV37_Mode->isEnabled());
  EXPECT_TRUE(form->BTn_OpenCom->isEnabled());
}

TEST_F(PortWindowTest, StartSendsTheStartCommandAndArmsTheWatchdog) {
  QTest::mouseClick(form->KV37_Mode, Qt::LeftButton);
  EXPECT_EQ(unit.Read(5, 2000), std::vector<uint8_t>(kStartCommand.begin(), kStartCommand.end()));
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_EQ(form->Timer1->interval(), 1000);

  // A second press while waiting keeps the running period.
  const int period = form->Timer1->timerId();
  QTest::mouseClick(form->KV37_Mode, Qt::LeftButton);
  EXPECT_EQ(form->Timer1->timerId(), period);
}

TEST_F(PortWindowTest, ProbeOfThePortTheWindowHoldsFails) {
  SeenBox seen;
  DismissNextBox(seen);
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  EXPECT_EQ(seen.text, "COM Port Open Error!!");
  EXPECT_NE(seen.detail.find("busy, held by"), std::string::npos) << seen.detail;
  EXPECT_NE(seen.detail.find("pid " + std::to_string(getpid())), std::string::npos)
      << "the holder is this program: " << seen.detail;
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  ExpectDefaults();
  EXPECT_TRUE(form->Comm1->IsOpen()) << "an activation does not close the port";
}

TEST_F(PortWindowTest, StartFailureGoesToTheErrorDisplayWhichIsNoActivation) {
  // An activation puts the box back to COM1 while COM2 stays open.
  PtyPair second;
  map.Link("COM1", second.SlavePath());
  VisitAboutBox();
  Load(files.Write("again.bin", Pattern(10)));
  form->StationEdit->setText("42");

  SeenBox seen;
  DismissNextBox(seen);
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  EXPECT_EQ(seen.text, "This serial port already opened");
  EXPECT_EQ(seen.caption, Kv37Application::kTitle);
  EXPECT_EQ(form->Comm1->CommName, "COM1");
  EXPECT_TRUE(form->Comm1->IsOpen());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::qWait(100);  // a late focus change, if the desktop sends one, changes nothing

  EXPECT_TRUE(form->KV37_Mode->isEnabled()) << "enabled before the start, and stays so";
  EXPECT_TRUE(form->BTn_OpenCom->isEnabled());
  EXPECT_EQ(form->StationEdit->text(), "42");
}

TEST_F(WindowTest, FailedLoadGoesToTheErrorDisplayAndLeavesOpenComPortAsItWas) {
  // Too large to be an image: the loader refuses it (sparse, so it costs no disk).
  const std::string huge = files.Write("huge.bin", {});
  std::filesystem::resize_file(huge, MemoryStream::kMaxFileSize + 1);
  for (const bool loadedBefore : {false, true}) {
    SCOPED_TRACE(loadedBefore ? "after a good load" : "first load");
    if (loadedBefore) Load(files.Write("good.bin", Pattern(10)));
    form->StationEdit->setText("42");

    SeenBox seen;
    OnNextModal([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      PickInDialog(dialog, huge);
      DismissNextBox(seen);
    });
    form->ReadOSFile1->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::qWait(100);

    EXPECT_NE(seen.text.toStdString().find(huge), std::string::npos) << seen.text.toStdString();
    EXPECT_EQ(seen.caption, Kv37Application::kTitle);
    EXPECT_EQ(form->BTn_OpenCom->isEnabled(), loadedBefore);
    EXPECT_EQ(form->StationEdit->text(), "42") << "the error display is no activation";
  }
}

TEST_F(WindowTest, FileDialogShowsTheFilterNamesAloneInTheDesignOrder) {
  QStringList shown;
  OnNextModal([&shown](QWidget* modal) {
    auto* types = modal->findChild<QComboBox*>("fileTypeCombo");
    for (int i = 0; types != nullptr && i < types->count(); ++i) shown << types->itemText(i);
    qobject_cast<QDialog*>(modal)->reject();
  });
  form->ReadOSFile1->trigger();
  EXPECT_EQ(shown, QStringList({"Bin Files[*.bin]", "All Files[*.*]"}));
}

TEST_F(WindowTest, FileDialogReturnsToTheImageLoadedLast) {
  struct Seen {
    QString folder;
    QStringList selected;
  };
  const auto look = [this] {
    Seen seen;
    OnNextModal([&seen](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      seen = {dialog->directory().absolutePath(), dialog->selectedFiles()};
      dialog->reject();
    });
    form->ReadOSFile1->trigger();
    return seen;
  };
  EXPECT_EQ(look().folder, QDir::rootPath());

  std::filesystem::create_directories(files.Path("images"));
  const QString image = QString::fromStdString(files.Write("images/unit.bin", Pattern(10)));
  Load(image.toStdString());
  const Seen back = look();
  EXPECT_EQ(back.folder, QFileInfo(image).absolutePath());
  EXPECT_EQ(back.selected, QStringList{image});

  // A cancelled dialog changes nothing.
  Load("");
  EXPECT_EQ(look().selected, QStringList{image});
}

TEST_F(WindowTest, PortToolTipsSayWhereEachNameLeads) {
  PtyPair unit;
  ASSERT_TRUE(unit.Valid());
  PortMap map;
  map.Link("COM2", unit.SlavePath());
  map.Link("COM3", files.Path("gone"));
  const std::string entries = PortMapDirectory();
  const auto device = [](const std::string& path) {
    return std::filesystem::exists(path) ? path : path + " (not present)";
  };

  QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), form->TComPort->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(form->TComPort, &hover);
  const std::vector<std::pair<int, std::string>> tips = {
      {1, entries + "/COM2 -> " + unit.SlavePath()},
      {2, entries + "/COM3 -> " + files.Path("gone") + " (not present)"},
      {11, device("/dev/ttyS11")},
  };
  for (const auto& [index, tip] : tips)
    EXPECT_EQ(form->TComPort->itemData(index, Qt::ToolTipRole).toString().toStdString(), tip);
  EXPECT_EQ(form->TComPort->toolTip().toStdString(), device("/dev/ttyS0")) << "the shown COM1";

  // Looked up afresh on each hover: a link added since shows at once.
  map.Link("COM12", unit.SlavePath());
  ChoosePort(11);
  QApplication::sendEvent(form->TComPort, &hover);
  EXPECT_EQ(form->TComPort->toolTip().toStdString(), entries + "/COM12 -> " + unit.SlavePath());
}

TEST(WindowPlacement, KeepsTheDesignPositionWhereTheWindowFitsAndMovesItInOtherwise) {
  struct Case {
    const char* screen;
    QRect available;
    QPoint expected;
  };
  const QRect window(QPoint(422, 312), QSize(440, 430));
  const std::vector<Case> cases = {
      {"roomy 1x", {0, 0, 1280, 1024}, {422, 312}},
      {"a panel on the left", {48, 0, 1232, 1024}, {422, 312}},
      {"2x of 1280x1024", {0, 0, 640, 512}, {200, 82}},
      {"smaller than the window", {0, 0, 400, 300}, {0, 0}},
      {"second screen to the right", {1280, 0, 1920, 1080}, {1280, 312}},
      {"no screen known", {}, {422, 312}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceInside(window, c.available), c.expected) << c.screen;
}

// Also run with QT_SCALE_FACTOR=2, where the design position no longer fits.
TEST_F(WindowTest, HighDpiWindowStaysOnTheScreenAtItsDesignPositionWhereItFits) {
  const QRect available = form->screen()->availableGeometry();
  const QRect frame = form->frameGeometry();
  if (available.contains(QRect(QPoint(422, 312), frame.size()))) {
    // Where the window manager honours the position for the inside of the
    // window rather than its frame, the inside is there.
    EXPECT_TRUE(frame.topLeft() == QPoint(422, 312) || form->pos() == QPoint(422, 312) ||
                form->geometry().topLeft() == QPoint(422, 312))
        << frame.left() << "," << frame.top();
  } else {
    EXPECT_GE(frame.left(), available.left());
    EXPECT_GE(frame.top(), available.top());
    if (frame.width() <= available.width()) {
      EXPECT_LE(frame.right(), available.right());
    }
    if (frame.height() <= available.height()) {
      EXPECT_LE(frame.bottom(), available.bottom());
    }
  }
  EXPECT_EQ(form->centralWidget()->size(), QSize(432, 391)) << "logical size at any scale";
}

TEST_F(PortWindowTest, AboutBoxDuringAnUpdateKeepsThePortAndTheWatchdogCount) {
  QTest::mouseClick(form->KV37_Mode, Qt::LeftButton);
  VisitAboutBox();
  ExpectDefaults();
  EXPECT_TRUE(form->Comm1->IsOpen());

  // Requests that still arrive are answered and restart the watchdog.
  Feed(PageRequest(0x1F));
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_EQ(form->PageNo->text(), "PAGE01F");
}

TEST_F(WindowTest, AboutTwiceShowsTheSameBox) {
  std::vector<QWidget*> shown;
  for (int i = 0; i < 2; ++i) {
    OnNextModal([&shown](QWidget* modal) {
      shown.push_back(modal);
      qobject_cast<QDialog*>(modal)->accept();
    });
    form->About1->trigger();
  }
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_EQ(shown[0], form->AboutForm);
  EXPECT_EQ(form->findChildren<TAboutForm*>().size(), 1);

  TAboutForm* about = form->AboutForm;
  EXPECT_EQ(about->windowTitle(), "About");
  EXPECT_EQ(about->size(), QSize(383, 240));
  EXPECT_EQ(about->Label1->text(), " KV-37 OS Update Utility ");
  EXPECT_EQ(about->Label2->text(), " Ver 1.01 ");
  EXPECT_FALSE(about->Image1->pixmap().isNull()) << "the program's icon is embedded";
  EXPECT_EQ(about->BitBtn1->geometry(), QRect(152, 208, 75, 25));
}

TEST_F(WindowTest, BothExitsFreeTheImageAndCloseTheWindow) {
  struct Exit {
    const char* name;
    std::function<void(TForm1&)> press;
  };
  const std::vector<Exit> exits = {
      {"menu", [](TForm1& f) { f.Exit1->trigger(); }},
      {"button", [](TForm1& f) { QTest::mouseClick(f.BTn_Exit, Qt::LeftButton); }},
  };
  for (const Exit& exit : exits) {
    SCOPED_TRACE(exit.name);
    TearDown();
    SetUp();
    Load(files.Write("os.bin", Pattern(10)));
    ASSERT_EQ(OsImage.Size(), kOsImageSize);
    exit.press(*form);
    EXPECT_EQ(OsImage.Size(), 0u);
    EXPECT_FALSE(form->isVisible());
  }
}

TEST_F(WindowTest, StatusLineFollowsTheUpdateAndSizesItselfToItsText) {
  Feed(PageRequest(0x1F));
  EXPECT_TRUE(form->PageNo->isVisible());
  EXPECT_EQ(form->PageNo->text(), "PAGE01F");
  EXPECT_EQ(form->PageNo->pos(), QPoint(160, 240));
  EXPECT_EQ(form->PageNo->size(), form->PageNo->sizeHint());
  EXPECT_EQ(form->Gauge1->Progress(), 31);
  EXPECT_TRUE(form->Timer1->isActive());

  form->Update->Timer1Timer();
  EXPECT_EQ(form->PageNo->text(), "Time_Out0");
  EXPECT_EQ(form->PageNo->pos(), QPoint(144, 240));

  Feed({kStx, kCmdCompletion, kResultSuccess, 0, 0, kEtx});
  EXPECT_EQ(form->PageNo->text(), "OS Update Success!!");
  EXPECT_EQ(form->PageNo->pos(), QPoint(80, 240));
  EXPECT_EQ(form->PageNo->size(), form->PageNo->sizeHint());
  EXPECT_EQ(form->Gauge1->Progress(), 511);
  EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(WindowTest, FrameFaultShowsItsBoxThenEndsTheProgram) {
  struct Fault {
    const char* text;
    std::vector<uint8_t> chunk;
  };
  const std::vector<Fault> faults = {
      {"CheckSume Error!!", {0x02, 0xAA, 0x00, 0x00, 0xAC, 0x00, 0x03}},
      {"Data Error", {0x01, 0xAA, 0x00, 0x00, 0x00, 0xAB, 0x03}},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.text);
    TearDown();
    SetUp();
    SeenBox seen;
    DismissNextBox(seen);
    Feed(fault.chunk);
    EXPECT_EQ(seen.text, fault.text);
    EXPECT_EQ(seen.caption, Kv37Application::kTitle);
    EXPECT_EQ(programEnds, 1);

    // Nothing more is served while the program winds down.
    Feed(PageRequest(1));
    EXPECT_NE(form->PageNo->text(), "PAGE001");
    EXPECT_FALSE(form->Timer1->isActive());
    programEnds = 0;
  }
}

}  // namespace
}  // namespace kv37::test
