// What a message box does when the front end installed no handler (one file per system).
#pragma once

#include "penwick/message_box.hpp"

namespace pw {

int ShowDefaultMessageBox(const MessageBoxRequest& request);

}  // namespace pw
