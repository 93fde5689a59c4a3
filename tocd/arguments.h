#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tocd {

/// Splits one client command line into its words, as Tcl reads them, since clients write their
/// commands as Tcl: words are separated by spaces or tabs; a word is bare (a backslash takes the
/// next byte literally), or in double quotes (the same, with spaces kept), or in braces (taken as
/// written: nested braces are counted, a backslash only keeps the next brace from counting). NULs
/// at the end of the line are dropped first; "" and {} are empty words. Returns nothing for a
/// quote or brace left open, or one closed with more text straight after it.
std::optional<std::vector<std::string>> ParseArguments(std::string_view line);

} // namespace tocd
