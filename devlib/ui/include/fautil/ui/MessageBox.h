#pragma once
// Modal message boxes whose text and caption are string resources
// (StringResource.h). Flags and results use the classic message-box values
// below. GUI thread only; the event loop keeps running while a box is open.

#include <QString>
#include <cstdint>
#include <memory>

class QMessageBox;
class QWidget;

namespace fautil {

// Buttons (low four bits).
inline constexpr int32_t kMbOk = 0x0;
inline constexpr int32_t kMbOkCancel = 0x1;
inline constexpr int32_t kMbAbortRetryIgnore = 0x2;
inline constexpr int32_t kMbYesNoCancel = 0x3;
inline constexpr int32_t kMbYesNo = 0x4;
inline constexpr int32_t kMbRetryCancel = 0x5;
// Icons.
inline constexpr int32_t kMbIconStop = 0x10;
inline constexpr int32_t kMbIconQuestion = 0x20;
inline constexpr int32_t kMbIconExclamation = 0x30;
inline constexpr int32_t kMbIconInformation = 0x40;
// Default button (otherwise the first).
inline constexpr int32_t kMbDefButton2 = 0x100;
inline constexpr int32_t kMbDefButton3 = 0x200;

// Results: the identifier of the button pressed; 0 when no button was.
inline constexpr int32_t kIdOk = 1;
inline constexpr int32_t kIdCancel = 2;
inline constexpr int32_t kIdAbort = 3;
inline constexpr int32_t kIdRetry = 4;
inline constexpr int32_t kIdIgnore = 5;
inline constexpr int32_t kIdYes = 6;
inline constexpr int32_t kIdNo = 7;

// Shows resource `textId` with the caption `captionId` and `flags`; unknown
// button or icon values fall back to OK and no icon. Returns the result.
int32_t MsgBox(int32_t textId, int32_t captionId, int32_t flags);
// MsgBox with OK and, in turn, the stop, exclamation and information icon.
int32_t ErrorBox(int32_t textId, int32_t captionId);
int32_t WarningBox(int32_t textId, int32_t captionId);
int32_t InformationBox(int32_t textId, int32_t captionId);

// The box MsgBox shows (plain text, application-modal), not yet shown.
// The caller owns it.
std::unique_ptr<QMessageBox> CreateMessageBox(const QString& text, const QString& caption,
                                              int32_t flags, QWidget* parent = nullptr);
// The result identifier for the button clicked in a box from CreateMessageBox.
int32_t MessageBoxResult(const QMessageBox& box);

}  // namespace fautil
