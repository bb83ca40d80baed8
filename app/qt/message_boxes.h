// Message boxes as Qt shows them: the buttons, icon and default button of a box type
// (pw::kMb* flags), and the answer (pw::kId*) of the button pressed.
#pragma once

#include <QMessageBox>
#include <memory>
#include <string>

namespace app {

// A modal box owned by `owner` (or by none), not yet shown.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const std::string& text,
                                            const std::string& caption, unsigned type);

// The answer for the button pressed in a box of `type`; closing the box without a button
// (Esc) gives the cancel or no button where the box has one, else OK.
int AnswerOf(QMessageBox::StandardButton pressed, unsigned type);

// Shows a box that nobody waits for: it does not block its owner and deletes itself when
// closed. Returns it, so the caller may close it early.
QMessageBox* ShowMessageBoxWithoutWaiting(QWidget* owner, const std::string& text,
                                          const std::string& caption, unsigned type);

// Shows the box and waits for the answer.
int AskWithMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                      unsigned type);

}  // namespace app
