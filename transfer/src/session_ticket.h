// What a session's worker holds of its session: the token of its busy flag. Every report of a
// worker goes through it, so a worker whose session has ended and been followed by another
// (a serial worker still in its pause after Dll_CloseSerialPort, say) stays silent: it sends no
// notice and sets no percentage into the new session.
#pragma once

#include <cstdint>

#include "session_state.h"

namespace transfer {

class SessionTicket {
 public:
  explicit SessionTicket(uint32_t token) : token_(token) {}

  uint32_t token() const { return token_; }
  // The session still holds the busy flag.
  bool Running() const { return Session().Holds(token_); }
  // No later session has been accepted.
  bool Current() const { return Session().Latest(token_); }
  // Clears the busy flag if this session still holds it.
  void End() const { Session().Release(token_); }

  // Notification `code` with `value`, and the completion notice with `result`, while Current.
  void Notify(int code, intptr_t value) const;
  void Complete(intptr_t result) const;
  void SetDownloadPercent(int percent) const;
  void SetUploadPercent(int percent) const;
  // Sets the success flag while Current.
  void Succeed() const;

 private:
  uint32_t token_;
};

}  // namespace transfer
