// The launch parameters with which the service's web site starts the program already logged
// in: a command line of at least 12 characters whose first 11 are skipped (the page's own
// prefix, not examined); the rest is key=value pairs separated by ";", keys and values trimmed
// of surrounding blanks, keys lower-cased, no escaping. Known keys: u_id (user name) and
// u_sessionkey (a session key issued by the web site).
#pragma once

#include "app/settings/CAccountGlobals.h"

#include <map>
#include <string>
#include <string_view>

namespace tavik::app {

inline constexpr size_t kLaunchPrefixLength = 11;

// The pairs of a command line (empty for one shorter than 12 characters). A piece without "="
// is skipped; a later duplicate key replaces an earlier one.
std::map<std::u16string, std::u16string> ParseLaunchParameters(std::u16string_view commandLine);

// Start-up step 4: takes the account from the command line, or loads the saved one when the
// line is short or names no user. Returns true when the program was launched with a session
// key (its account is then never saved).
bool ApplyLaunchParameters(std::u16string_view commandLine, CAccountGlobals& account);

} // namespace tavik::app
