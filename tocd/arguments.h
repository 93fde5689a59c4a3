#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tocd {

/// Splits one client command line into its words: words are separated by spaces, a double quote
/// opens or closes a quoted stretch in which spaces belong to the word, and a backslash takes the
/// next byte literally. NULs at the end of the line are dropped first. A quoted empty word ("")
/// counts as a word. Returns nothing when a quote is left open.
std::optional<std::vector<std::string>> ParseArguments(std::string_view line);

/// Everything after the command word as one argument: quotes and backslashes work as above but
/// spaces do not split, and one pair of braces around the whole is trimmed, as clients that wrap
/// the argument in braces expect. Returns nothing when a quote is left open.
std::optional<std::string> ParseWholeArgument(std::string_view line);

} // namespace tocd
