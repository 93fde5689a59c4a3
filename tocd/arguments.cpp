#include "tocd/arguments.h"

namespace tocd {

std::optional<std::vector<std::string>> ParseArguments(std::string_view line)
{
    while (!line.empty() && line.back() == '\0')
        line.remove_suffix(1);

    std::vector<std::string> words;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        bool quoted = false;
        while (i < n) {
            const char c = line[i];
            if (c == '\\') {
                // A backslash at the very end has nothing to protect; it is kept as itself.
                word += (i + 1 < n) ? line[i + 1] : c;
                i += 2;
            } else if (c == '"') {
                quoted = !quoted;
                ++i;
            } else if (c == ' ' && !quoted) {
                break;
            } else {
                word += c;
                ++i;
            }
        }
        if (quoted)
            return std::nullopt;
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace tocd
