#include "session_ticket.h"

#include "notifications.h"

namespace transfer {

void SessionTicket::Notify(int code, intptr_t value) const {
  if (Current()) transfer::Notify(code, value);
}

void SessionTicket::Complete(intptr_t result) const {
  if (Current()) NotifyCompletion(result);
}

void SessionTicket::SetDownloadPercent(int percent) const {
  if (Current()) Session().downloadPercent.store(percent);
}

void SessionTicket::SetUploadPercent(int percent) const {
  if (Current()) Session().uploadPercent.store(percent);
}

void SessionTicket::Succeed() const {
  if (Current()) Session().success.store(1);
}

}  // namespace transfer
