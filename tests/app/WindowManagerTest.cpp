// What a window manager sees of the utility's windows: titles, window types
// and the hints that decide borders and buttons. Runs only on a desktop with
// a window manager (tests/support/with-openbox); elsewhere the cases skip.

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include "About.h"
#include "Kv37Application.h"
#include "Mainform.h"
#include "WindowFixture.h"
#include "WindowTestSupport.h"

namespace kv37::test {
namespace {

// The Motif hint bits Qt and the window manager agree on. The toolkit always
// offers resizing there and says "fixed size" through equal minimum and
// maximum sizes, so resizing is checked in what the manager allows. openbox
// keeps minimising, from its keyboard and task list, for any window with a
// taskbar entry; the hints only take the button away.
constexpr unsigned kFuncMove = 0x04, kFuncMinimize = 0x08, kFuncMaximize = 0x10, kFuncClose = 0x20;
constexpr unsigned kDecorTitle = 0x08, kDecorMinimize = 0x20, kDecorMaximize = 0x40;

bool UnderWindowManager() {
  return !qEnvironmentVariableIsEmpty("KV37_WINDOW_MANAGER") &&
         QGuiApplication::platformName() == "xcb";
}

// One property of the window as xprop prints it, "" when it is not set.
// The window manager sets its own properties once it has taken the window
// on, so a property that is not there yet is waited for a little.
QString XProperty(const QWidget* window, const char* name) {
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(window->winId()), name});
    xprop.waitForFinished(5000);
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    if (!out.contains("not found") && !out.contains("no such atom")) return out;
    if (clock.elapsed() > 3000) return {};
    QTest::qWait(20);
  }
}

// "_NET_WM_NAME(UTF8_STRING) = "About"" -> About
QString Title(const QWidget* window) {
  const QString out = XProperty(window, "_NET_WM_NAME");
  const qsizetype start = out.indexOf('"');
  return start < 0 ? out : out.mid(start + 1).chopped(1);
}

QStringList Atoms(const QWidget* window, const char* name) {
  const QString out = XProperty(window, name);
  const qsizetype eq = out.indexOf('=');
  if (eq < 0) return {};
  QStringList atoms = out.mid(eq + 1).split(',', Qt::SkipEmptyParts);
  for (QString& atom : atoms) atom = atom.trimmed();
  return atoms;
}

struct MotifHints {
  unsigned functions = 0;
  unsigned decorations = 0;
};
MotifHints Motif(const QWidget* window) {
  const QStringList values = Atoms(window, "_MOTIF_WM_HINTS");
  if (values.size() < 3) return {};
  return {values[1].toUInt(nullptr, 16), values[2].toUInt(nullptr, 16)};
}

class WindowManagerTest : public WindowTest {
 protected:
  void SetUp() override {
    if (!UnderWindowManager())
      GTEST_SKIP() << "needs a window manager (tests/support/with-openbox)";
    WindowTest::SetUp();
  }

  // Runs `look` on the next modal window while it is shown, then closes it.
  void WhileShown(QAction* open, std::function<void(QWidget*)> look) {
    OnNextModal([look = std::move(look)](QWidget* modal) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
      look(modal);
      qobject_cast<QDialog*>(modal)->reject();
    });
    open->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
};

TEST_F(WindowManagerTest, EachWindowShowsItsOwnTitleWithNothingAppended) {
  EXPECT_EQ(Title(form.get()), "KV-37 Update");

  QString about, dialog, dialogOwn;
  WhileShown(form->About1, [&](QWidget* modal) { about = Title(modal); });
  WhileShown(form->ReadOSFile1, [&](QWidget* modal) {
    dialog = Title(modal);
    dialogOwn = modal->windowTitle();
  });
  EXPECT_EQ(about, "About");
  EXPECT_EQ(dialog, dialogOwn) << "the toolkit's own caption";

  // A message box carries the application's title.
  PortMap map;
  map.Link("COM1", files.Path("gone"));
  Load(files.Write("os.bin", Pattern(10)));
  QString box;
  OnNextModal([&box](QWidget* modal) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
    box = Title(modal);
    qobject_cast<QDialog*>(modal)->accept();
  });
  QTest::mouseClick(form->BTn_OpenCom, Qt::LeftButton);
  EXPECT_EQ(box, Kv37Application::kTitle);
}

TEST_F(WindowManagerTest, MainWindowHasACaptionWithOnlyACloseBoxAndKeepsItsTaskbarEntry) {
  const QStringList actions = Atoms(form.get(), "_NET_WM_ALLOWED_ACTIONS");
  ASSERT_FALSE(actions.isEmpty());
  EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE"));
  EXPECT_TRUE(actions.contains("_NET_WM_ACTION_MOVE"));
  for (const char* refused :
       {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
    EXPECT_FALSE(actions.contains(refused)) << refused;

  const MotifHints motif = Motif(form.get());
  EXPECT_TRUE(motif.decorations & kDecorTitle);
  EXPECT_FALSE(motif.decorations & (kDecorMinimize | kDecorMaximize)) << "only a close box";
  EXPECT_TRUE(motif.functions & kFuncClose);
  EXPECT_TRUE(motif.functions & kFuncMove);
  EXPECT_FALSE(motif.functions & (kFuncMinimize | kFuncMaximize));

  EXPECT_EQ(Atoms(form.get(), "_NET_WM_WINDOW_TYPE"), QStringList{"_NET_WM_WINDOW_TYPE_NORMAL"});
  EXPECT_FALSE(Atoms(form.get(), "_NET_WM_STATE").contains("_NET_WM_STATE_SKIP_TASKBAR"));
}

TEST_F(WindowManagerTest, AboutBoxHasADialogBorderWithoutMinimiseOrMaximise) {
  QStringList actions, type;
  MotifHints motif;
  WhileShown(form->About1, [&](QWidget* modal) {
    actions = Atoms(modal, "_NET_WM_ALLOWED_ACTIONS");
    type = Atoms(modal, "_NET_WM_WINDOW_TYPE");
    motif = Motif(modal);
  });
  ASSERT_FALSE(actions.isEmpty());
  EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE"));
  for (const char* refused :
       {"_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_MAXIMIZE_VERT"})
    EXPECT_FALSE(actions.contains(refused)) << refused;
  EXPECT_EQ(type.value(0), "_NET_WM_WINDOW_TYPE_DIALOG");
  EXPECT_TRUE(motif.decorations & kDecorTitle);
  EXPECT_FALSE(motif.decorations & (kDecorMinimize | kDecorMaximize)) << "no such buttons";
  EXPECT_FALSE(motif.functions & (kFuncMinimize | kFuncMaximize));
}

}  // namespace
}  // namespace kv37::test
