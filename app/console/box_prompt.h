// Answering a message box on the console.
#pragma once

#include <string>

namespace app {

// The name of an answer (pw::kId*): "ok", "cancel", "retry", "yes", "no".
const char* AnswerName(int answer);

// Whether a box of this type offers a choice (more than one button).
bool OffersChoice(unsigned type);

// Asks on the terminal (standard input) for one of the type's buttons; the default button
// when the line is empty, input ends or a stop signal comes.
int AskOnTerminal(unsigned type);

}  // namespace app
