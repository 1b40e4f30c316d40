#include "Mainform.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "About.h"
#include "Comm.h"
#include "Kv37Application.h"
#include "OsImage.h"
#include "PortName.h"
#include "ProgressGauge.h"
#include "WindowFonts.h"
#include "WindowPlacement.h"

kv37::MemoryStream OsImage;
std::string OsFileName;

namespace {

constexpr int kClientWidth = 432;
constexpr int kClientHeight = 391;
constexpr int kStatusTop = 240;
constexpr int kBaudDefaultIndex = 3;  // 57600
constexpr std::array<uint32_t, 5> kBaudRates{9600, 19200, 38400, 57600, 115200};
constexpr int kPortCount = 12;
const QPoint kDesignPosition(422, 312);

const QColor kPurple(0x80, 0x00, 0x80);
// The classic desktop's scroll-bar colour, behind the banner.
const QColor kScrollBarColour(0xC8, 0xC8, 0xC8);

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(left, top);
  return label;
}

// A label keeps at least its design size and grows when the substituted face
// needs more room, so no text is clipped.
void FitLabel(QLabel* label, int width, int height) {
  const QSize hint = label->sizeHint();
  label->resize(std::max(width, hint.width()), std::max(height, hint.height()));
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      programEnd_([] { QCoreApplication::exit(0); }) {
  setObjectName("Form1");
  setWindowTitle("KV-37 Update");
  setFont(kv37::DesktopSansFont(11));

  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight);
  QPalette face = client->palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  client->setPalette(face);
  client->setAutoFillBackground(true);
  setCentralWidget(client);

  BuildControls(client);
  BuildMenu();
  SetUpComm();

  // Design interval 1 ms; created stopped, which is where the first
  // activation would leave it anyway, so no tick can precede the defaults.
  Timer1 = Update->Watchdog();
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName("OpenDialog1");
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  // The entries show their names alone; the masks stay out of sight. Every
  // file is an entry of "All Files", with or without a dot in its name.
  OpenDialog1->setOption(QFileDialog::HideNameFilterDetails);
  OpenDialog1->setNameFilters({"Bin Files[*.bin] (*.bin)", "All Files[*.*] (*)"});
  OpenDialog1->setDefaultSuffix("bin");
  OpenDialog1->setDirectory(QDir::rootPath());

  layout()->setSizeConstraint(QLayout::SetFixedSize);
  move(kDesignPosition);
  KeepOnScreen();
}

TForm1::~TForm1() {
  // The component's threads must not outlive the window that handles their
  // events.
  delete Update;
  Comm1->StopComm();
}

void TForm1::BuildControls(QWidget* client) {
  BuildPortControls(client);
  BuildBaudGroup(client);
  BuildButtons(client);
  BuildStatus(client);
  SetTabOrder();
}

void TForm1::BuildPortControls(QWidget* client) {
  Label1 = MakeLabel(client, "Label1", "Station Number : ", 8, 16);
  Label1->setFont(kv37::ArialFont(16, true));
  FitLabel(Label1, 133, 19);

  StationEdit = new QLineEdit(client);
  StationEdit->setObjectName("StationEdit");
  StationEdit->setGeometry(152, 16, 41, 21);

  Label2 = MakeLabel(client, "Label2", "Com Port : ", 8, 72);
  Label2->setFont(kv37::DesktopSansFont(16, true));
  FitLabel(Label2, 90, 20);

  TComPort = new QComboBox(client);
  TComPort->setObjectName("TComPort");
  TComPort->setGeometry(120, 72, 73, 21);
  TComPort->setEditable(true);
  TComPort->setInsertPolicy(QComboBox::NoInsert);
  for (int n = 1; n <= kPortCount; ++n) TComPort->addItem(QString("COM%1").arg(n));
  TComPort->setCurrentIndex(-1);
  TComPort->setEditText("TComPort");
  // Only the operator's changes count: a pick from the list or typing.
  connect(TComPort, &QComboBox::textActivated, this,
          [this] { Kv37Application::Guard([this] { TComPortChange(); }); });
  connect(TComPort->lineEdit(), &QLineEdit::textEdited, this,
          [this] { Kv37Application::Guard([this] { TComPortChange(); }); });
  // Where each name leads is looked up when a tooltip is about to show, so
  // a plugged or unplugged adapter is seen at once.
  TComPort->installEventFilter(this);
  TComPort->view()->viewport()->installEventFilter(this);
}

void TForm1::BuildBaudGroup(QWidget* client) {
  BaudGroup = new QGroupBox(" Baud Rate ", client);
  BaudGroup->setObjectName("BaudGroup");
  BaudGroup->setGeometry(240, 8, 129, 153);
  BaudButtons = new QButtonGroup(BaudGroup);
  auto* baudLayout = new QVBoxLayout(BaudGroup);
  for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
    auto* item = new QRadioButton(QString::number(kBaudRates[i]), BaudGroup);
    item->setObjectName(QString("BaudItem%1").arg(i));
    BaudButtons->addButton(item, static_cast<int>(i));
    baudLayout->addWidget(item);
  }
  BaudButtons->button(0)->setChecked(true);
  BaudGroup->setEnabled(false);  // never enabled: the link runs at 57600
  connect(BaudButtons, &QButtonGroup::idClicked, this,
          [this] { Kv37Application::Guard([this] { BaudGroupClick(); }); });
}

void TForm1::BuildButtons(QWidget* client) {
  BTn_OpenCom = MakeButton(client, "BTn_OpenCom", "Open COM Port", {16, 120, 177, 41});
  KV37_Mode = MakeButton(client, "KV37_Mode", "OS Update Strat", {16, 176, 177, 41});
  BTn_Exit = MakeButton(client, "BTn_Exit", "Exit", {272, 176, 97, 41});
  connect(BTn_OpenCom, &QPushButton::clicked, this,
          [this] { Kv37Application::Guard([this] { BTn_OpenComClick(); }); });
  connect(KV37_Mode, &QPushButton::clicked, this,
          [this] { Kv37Application::Guard([this] { KV37_ModeClick(); }); });
  connect(BTn_Exit, &QPushButton::clicked, this,
          [this] { Kv37Application::Guard([this] { BTn_ExitClick(); }); });
}

void TForm1::BuildStatus(QWidget* client) {
  PageNo = MakeLabel(client, "PageNo", "PAGE#____", 144, kStatusTop);
  PageNo->setFont(kv37::ArialFont(24, true));
  kv37::SetLabelColours(PageNo, kPurple, QColor());
  PageNo->resize(133, 29);
  PageNo->hide();

  Gauge1 = new kv37::TProgressGauge(client);
  Gauge1->setObjectName("Gauge1");
  Gauge1->setGeometry(40, 288, 361, 25);
  Gauge1->SetForeColor(Qt::blue);
  Gauge1->SetMaxValue(kv37::kGaugeMax);
  Gauge1->SetProgress(0);

  Label5 = MakeLabel(client, "Label5", " KV-37 OS Update Utility ", 40, 336);
  Label5->setFont(kv37::ArialFont(32, true));
  kv37::SetLabelColours(Label5, Qt::blue, kScrollBarColour);
  FitLabel(Label5, 375, 37);

  Label3 = MakeLabel(client, "Label3", "Label3", 8, 344);
  Label3->hide();
  Label4 = MakeLabel(client, "Label4", "Label4", 8, 368);
  Label4->hide();
}

void TForm1::SetTabOrder() {
  setTabOrder(StationEdit, BaudButtons->button(0));
  QWidget* previous = BaudButtons->button(0);
  for (QAbstractButton* item : BaudButtons->buttons()) {
    if (item == previous) continue;
    setTabOrder(previous, item);
    previous = item;
  }
  setTabOrder(previous, TComPort);
  setTabOrder(TComPort, BTn_Exit);
  setTabOrder(BTn_Exit, KV37_Mode);
  setTabOrder(KV37_Mode, BTn_OpenCom);
}

void TForm1::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  Fille1 = bar->addMenu("Fille");
  Fille1->setObjectName("Fille1");
  ReadOSFile1 = Fille1->addAction("Read OS File");
  ReadOSFile1->setObjectName("ReadOSFile1");
  Exit1 = Fille1->addAction("Exit");
  Exit1->setObjectName("Exit1");
  About1 = bar->addAction("About");
  About1->setObjectName("About1");
  connect(ReadOSFile1, &QAction::triggered, this,
          [this] { Kv37Application::Guard([this] { ReadOSFile1Click(); }); });
  connect(Exit1, &QAction::triggered, this,
          [this] { Kv37Application::Guard([this] { Exit1Click(); }); });
  connect(About1, &QAction::triggered, this,
          [this] { Kv37Application::Guard([this] { About1Click(); }); });
}

void TForm1::SetUpComm() {
  Comm1 = new TComm(this);
  Comm1->setObjectName("Comm1");
  // The rest of the line settings are the component's defaults.
  Comm1->CommName = "COM1";
  Comm1->SetBaudRate(57600);
  Comm1->SetOutx_XonXoffFlow(false);
  Update = new kv37::UpdateDriver(*Comm1, OsImage, *this, this);
  Update->SetGuard([](const std::function<void()>& handler) { Kv37Application::Guard(handler); });
}

// ---------------------------------------------------------------------------
// Activation

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The first activation comes with the first show, before anything else is
  // handled, whether or not the desktop hands the window the focus.
  if (!shown_ && !event->spontaneous()) {
    shown_ = true;
    KeepOnScreen();  // the frame is known now
    Kv37Application::Guard([this] { FormActivate(); });
  }
}

void TForm1::KeepOnScreen() {
  const QScreen* where = screen();
  if (where == nullptr) return;
  const QRect frame(frameGeometry().topLeft(), frameGeometry().size().expandedTo(sizeHint()));
  const QPoint inside = kv37::PlaceInside(frame, where->availableGeometry());
  // Moved only when it has to be, so the desktop's own placement of the
  // design position stands.
  if (inside != frame.topLeft()) move(inside);
}

void TForm1::ShowOwnBox(QDialog& box) {
  box.exec();
  // The window is the utility's focused window again: that is an
  // activation, whether or not the desktop hands the focus back at once or
  // ever gave it to the box.
  activateWindow();
  FormActivate();
}

void TForm1::FormActivate() {
  StationEdit->setText("1");
  TComPort->setCurrentIndex(0);  // no change event: the operator did not choose
  KV37_Mode->setEnabled(false);
  SetBaudItemIndex(kBaudDefaultIndex);
  BTn_OpenCom->setEnabled(false);
  Timer1->stop();  // the watchdog count is kept
}

// ---------------------------------------------------------------------------
// Menu and buttons

void TForm1::ReadOSFile1Click() {
  if (!lastLoaded_.isEmpty()) {
    // Back where the operator found the last image, with it selected.
    OpenDialog1->setDirectory(QFileInfo(lastLoaded_).absolutePath());
    OpenDialog1->selectFile(lastLoaded_);
  }
  const int result = OpenDialog1->exec();
  // Not every desktop hands the focus back when a dialog closes. The file
  // dialog is not one of the utility's boxes: no activation.
  activateWindow();
  const QStringList chosen = OpenDialog1->selectedFiles();
  if (result != QDialog::Accepted || chosen.isEmpty()) return;

  const QString path = chosen.front();
  OsFileName = QFile::encodeName(path).toStdString();
  Label3->setText(path);
  kv37::LoadOsImage(OsImage, OsFileName);
  lastLoaded_ = path;
  BTn_OpenCom->setEnabled(true);
}

void TForm1::Exit1Click() {
  OsImage.Clear();
  close();
}

void TForm1::BTn_ExitClick() {
  Exit1Click();
}

void TForm1::About1Click() {
  if (AboutForm == nullptr) {
    AboutForm = new TAboutForm(this);
    AboutForm->setObjectName("AboutForm");
  }
  ShowOwnBox(*AboutForm);
}

void TForm1::BTn_OpenComClick() {
  const std::string name = "COM" + std::to_string(ComPortItemIndex() + 1);
  if (IsNetworkPortName(ResolvePortName(name)) && !Comm1->IsOpen()) {
    // A server may take seconds to answer: the window stays live meanwhile,
    // and the port is connected once, not probed first.
    if (Comm1->IsOpening()) return;
    Comm1->CommName = name;
    Comm1->StartCommAsync([this](const std::string& error) {
      if (!error.empty()) {
        ShowMessage("COM Port Open Error!!",
                    QString::fromStdString(DescribeOpenFailure(Comm1->LastOpenResult())));
        return;
      }
      KV37_Mode->setEnabled(true);
    });
    return;
  }
  {
    // The probe: the component's own exclusive open, closed again at once.
    const TOpenResult probe = OpenPort(name);
    if (probe.device == nullptr) {
      ShowMessage("COM Port Open Error!!", QString::fromStdString(DescribeOpenFailure(probe)));
      return;
    }
  }
  Comm1->CommName = name;
  KV37_Mode->setEnabled(true);
  Comm1->StartComm();
}

void TForm1::KV37_ModeClick() {
  Update->KV37_ModeClick();
}

void TForm1::TComPortChange() {
  Comm1->StopComm();
  KV37_Mode->setEnabled(false);
}

void TForm1::BaudGroupClick() {
  ApplyBaudRate();
}

void TForm1::ApplyBaudRate() {
  const int index = BaudItemIndex();
  const bool known = index >= 0 && index < static_cast<int>(kBaudRates.size());
  Comm1->SetBaudRate(known ? kBaudRates[index] : kBaudRates[0]);
}

int TForm1::BaudItemIndex() const {
  return BaudButtons->checkedId();
}

void TForm1::SetBaudItemIndex(int index) {
  if (index == BaudItemIndex()) return;
  QAbstractButton* item = BaudButtons->button(index);
  if (item != nullptr) {
    item->setChecked(true);
  } else if (QAbstractButton* checked = BaudButtons->checkedButton()) {
    BaudButtons->setExclusive(false);
    checked->setChecked(false);
    BaudButtons->setExclusive(true);
  }
  BaudGroupClick();
}

int TForm1::ComPortItemIndex() const {
  // MatchFixedString compares whole texts without regard to case.
  return TComPort->findText(TComPort->currentText(), Qt::MatchFixedString);
}

void TForm1::UpdatePortToolTips() {
  for (int i = 0; i < TComPort->count(); ++i) {
    const std::string target = PortTargetText(TComPort->itemText(i).toStdString());
    TComPort->setItemData(i, QString::fromStdString(target), Qt::ToolTipRole);
  }
  const int shown = ComPortItemIndex();
  TComPort->setToolTip(shown < 0 ? QString()
                                 : TComPort->itemData(shown, Qt::ToolTipRole).toString());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip &&
      (watched == TComPort || watched == TComPort->view()->viewport()))
    UpdatePortToolTips();
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// What the update shows.

void TForm1::ShowStatus() {
  PageNo->show();
}

void TForm1::MoveStatus(int left) {
  PageNo->move(left, kStatusTop);
}

void TForm1::SetStatusText(const std::string& text) {
  PageNo->setText(QString::fromStdString(text));
  PageNo->adjustSize();
}

void TForm1::SetGaugeProgress(int value) {
  Gauge1->SetProgress(value);
}

void TForm1::FatalError(const std::string& text) {
  ShowMessage(QString::fromStdString(text));
  // The program is ending: nothing more of this update is handled.
  Update->Halt();
  programEnd_();
}

void TForm1::ShowMessage(const QString& text, const QString& detail) {
  QMessageBox box(QMessageBox::NoIcon, Kv37Application::kTitle, text, QMessageBox::Ok, this);
  // The box keeps its text; why the port would not open goes beside it, for
  // the technician who asks.
  if (!detail.isEmpty()) box.setDetailedText(detail);
  ShowOwnBox(box);
}
