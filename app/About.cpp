#include "About.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "WindowFonts.h"

namespace {

constexpr int kClientWidth = 383;
constexpr int kClientHeight = 240;

}  // namespace

TAboutForm::TAboutForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("AboutForm");
  setWindowTitle("About");
  setFixedSize(kClientWidth, kClientHeight);
  move(521, 463);
  setFont(kv37::DesktopSansFont(11));

  Label1 = new QLabel(" KV-37 OS Update Utility ", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(40, 8, 325, 33);
  Label1->setFont(kv37::ArialFont(29, false));
  kv37::SetLabelColours(Label1, Qt::blue, QColor(0xC0, 0xC0, 0xC0));

  // The program's own icon, scaled into the picture's frame.
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(40, 48, 81, 105);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setPixmap(QIcon(":/kv37/kv37update.png").pixmap(QSize(81, 81)));

  Label2 = new QLabel(" Ver 1.01 ", this);
  Label2->setObjectName("Label2");
  Label2->setGeometry(136, 64, 59, 16);
  Label2->setFont(kv37::ArialFont(13, true));
  kv37::SetLabelColours(Label2, Qt::black, QColor());

  BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(152, 208, 75, 25);
  BitBtn1->setDefault(true);
  BitBtn1->setFocus();
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}
