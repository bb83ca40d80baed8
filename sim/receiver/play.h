// One transfer as either side plays it, and the closing line of a run: "SIM OK ..." or
// "SIM FAIL ...", with the exit status 0 or 1.
#pragma once

#include <string>

#include "download_session.h"
#include "images.h"
#include "link.h"
#include "receiver_options.h"

namespace sim {

// Plays the session the options select on `link`; a download's file is saved when asked.
SessionResult PlaySession(ReceiverOptions& o, Link& link, const Images& images, const LogFn& log);

// The log of --verbose (frames on standard error), or none.
LogFn VerboseLog(const ReceiverOptions& o);

// ", N requests sent again, M late answers ignored" for the counts that are not 0.
std::string RunCounts(const SessionResult& r);

// Prints the closing line; returns the exit status.
int ReportRun(bool ok, const std::string& text);

}  // namespace sim
