#pragma once
// The operator window: load an OS image, choose and open a COM port, start
// the update of a KV-37 unit and watch its progress. It owns the serial port
// component, the gauge, the watchdog timer, the file dialog and the about
// box, and it is the update controller's outside world.
//
// GUI thread only; the serial component delivers its events on this thread.
// Handlers keep the control and event names of the window's design; an
// exception escaping one of them goes to the application's error display.

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <string>

#include "MemoryStream.h"
#include "UpdateDriver.h"
#include "UpdateView.h"

class QAction;
class QButtonGroup;
class QComboBox;
class QDialog;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class TAboutForm;
class TComm;
namespace kv37 {
class TProgressGauge;
}

// The image the unit fetches, for the whole run of the program; the two exit
// commands free it.
extern kv37::MemoryStream OsImage;
// Full path of the file last chosen in the file dialog; empty at start.
extern std::string OsFileName;

class TForm1 : public QMainWindow, public kv37::UpdateView {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  // Stops the port's worker threads before the component goes.
  ~TForm1() override;

  // Handlers.
  void FormActivate();
  void ReadOSFile1Click();
  void Exit1Click();
  void About1Click();
  void BTn_OpenComClick();
  void KV37_ModeClick();
  void BTn_ExitClick();
  void TComPortChange();
  void BaudGroupClick();

  // Sets Comm1's rate from the baud group's selection (9600 when none).
  void ApplyBaudRate();

  // The baud group's selected index, -1 for none. Changing it raises the
  // group's click, as an operator's click would.
  int BaudItemIndex() const;
  void SetBaudItemIndex(int index);

  // The port box's selected item: the item whose text the box shows, in any
  // case ("com7" is COM7), or -1.
  int ComPortItemIndex() const;

  // Refreshes the port box's tooltips: each item's, and the box's own for
  // the name it shows, say where that COM name leads right now.
  void UpdatePortToolTips();

  int32_t WatchdogCount() const { return Update->WatchdogCount(); }

  // What a frame fault does once its box is dismissed; ends the event loop
  // with status 0 unless replaced.
  void SetProgramEnd(std::function<void()> end) { programEnd_ = std::move(end); }

  // Controls, with the names of the window's design.
  QLabel* Label1;
  QLineEdit* StationEdit;
  QLabel* Label2;
  QComboBox* TComPort;
  QGroupBox* BaudGroup;
  QButtonGroup* BaudButtons;
  QPushButton* BTn_OpenCom;
  QPushButton* KV37_Mode;
  QPushButton* BTn_Exit;
  QLabel* PageNo;
  kv37::TProgressGauge* Gauge1;
  QLabel* Label5;
  QLabel* Label3;
  QLabel* Label4;

  QMenu* Fille1;
  QAction* ReadOSFile1;
  QAction* Exit1;
  QAction* About1;

  TComm* Comm1;
  // The update over Comm1: its chunks and Timer1's ticks go to the update
  // controller there.
  kv37::UpdateDriver* Update;
  QTimer* Timer1;  // Update's watchdog
  QFileDialog* OpenDialog1;
  TAboutForm* AboutForm = nullptr;  // created on first use

  // kv37::UpdateView
  void ShowStatus() override;
  void MoveStatus(int left) override;
  void SetStatusText(const std::string& text) override;
  void SetGaugeProgress(int value) override;
  void FatalError(const std::string& text) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls(QWidget* client);
  void BuildPortControls(QWidget* client);
  void BuildBaudGroup(QWidget* client);
  void BuildButtons(QWidget* client);
  void BuildStatus(QWidget* client);
  void SetTabOrder();
  void BuildMenu();
  void SetUpComm();
  void KeepOnScreen();
  // One of the utility's message boxes, with an optional detail text.
  void ShowMessage(const QString& text, const QString& detail = {});
  // The activation rule, in one place: the window re-applies its defaults
  // when it is first shown and each time one of the utility's own boxes (the
  // about box, a message box) closes, and at no other time. The file dialog,
  // the standard error display and other programs are not the utility's
  // boxes, so focus coming back from them changes nothing.
  void ShowOwnBox(QDialog& box);

  std::function<void()> programEnd_;
  bool shown_ = false;
  QString lastLoaded_;  // the image loaded last in this run, for the dialog
};
