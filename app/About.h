#pragma once
// The about box: the utility's name, its picture and version, and an OK
// button. Created by the main window on first use and reused afterwards.
// GUI thread only.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  // `owner` takes ownership (Qt parent) and is the window the box is modal to.
  explicit TAboutForm(QWidget* owner);

  QLabel* Label1;
  QLabel* Image1;
  QLabel* Label2;
  QPushButton* BitBtn1;
};
