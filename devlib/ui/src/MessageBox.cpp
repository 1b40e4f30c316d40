#include "fautil/ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

#include "fautil/ui/StringResource.h"

namespace fautil {
namespace {

using Button = QMessageBox::StandardButton;

std::vector<Button> ButtonsOf(int32_t flags) {
  switch (flags & 0xF) {
    case kMbOkCancel:
      return {QMessageBox::Ok, QMessageBox::Cancel};
    case kMbAbortRetryIgnore:
      return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case kMbYesNoCancel:
      return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case kMbYesNo:
      return {QMessageBox::Yes, QMessageBox::No};
    case kMbRetryCancel:
      return {QMessageBox::Retry, QMessageBox::Cancel};
    default:
      return {QMessageBox::Ok};
  }
}

QMessageBox::Icon IconOf(int32_t flags) {
  switch (flags & 0xF0) {
    case kMbIconStop:
      return QMessageBox::Critical;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconExclamation:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

std::size_t DefaultIndexOf(int32_t flags) {
  switch (flags & 0xF00) {
    case kMbDefButton2:
      return 1;
    case kMbDefButton3:
      return 2;
    default:
      return 0;
  }
}

}  // namespace

std::unique_ptr<QMessageBox> CreateMessageBox(const QString& text, const QString& caption,
                                              int32_t flags, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setTextFormat(Qt::PlainText);  // resource text is shown as it stands
  box->setText(text);
  box->setWindowTitle(caption);
  box->setIcon(IconOf(flags));
  box->setWindowModality(Qt::ApplicationModal);
  const std::vector<Button> buttons = ButtonsOf(flags);
  for (Button b : buttons) box->addButton(b);
  const std::size_t def = DefaultIndexOf(flags);
  box->setDefaultButton(buttons[def < buttons.size() ? def : 0]);
  return box;
}

int32_t MessageBoxResult(const QMessageBox& box) {
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
      return kIdOk;
    case QMessageBox::Cancel:
      return kIdCancel;
    case QMessageBox::Abort:
      return kIdAbort;
    case QMessageBox::Retry:
      return kIdRetry;
    case QMessageBox::Ignore:
      return kIdIgnore;
    case QMessageBox::Yes:
      return kIdYes;
    case QMessageBox::No:
      return kIdNo;
    default:
      return 0;
  }
}

int32_t MsgBox(int32_t textId, int32_t captionId, int32_t flags) {
  const auto box =
      CreateMessageBox(LoadStr(textId), LoadStr(captionId), flags, QApplication::activeWindow());
  box->exec();
  return MessageBoxResult(*box);
}

int32_t ErrorBox(int32_t textId, int32_t captionId) {
  return MsgBox(textId, captionId, kMbOk | kMbIconStop);
}

int32_t WarningBox(int32_t textId, int32_t captionId) {
  return MsgBox(textId, captionId, kMbOk | kMbIconExclamation);
}

int32_t InformationBox(int32_t textId, int32_t captionId) {
  return MsgBox(textId, captionId, kMbOk | kMbIconInformation);
}

}  // namespace fautil
