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

std::optional<std::string> ParseWholeArgument(std::string_view line)
{
    while (!line.empty() && (line.back() == '\0' || line.back() == ' '))
        line.remove_suffix(1);
    std::size_t i = line.find_first_not_of(' ');
    i = i == std::string_view::npos ? line.size() : line.find(' ', i);
    i = i == std::string_view::npos ? line.size() : line.find_first_not_of(' ', i);
    const std::string_view rest = i == std::string_view::npos ? std::string_view() : line.substr(i);

    std::string text;
    bool quoted = false;
    for (std::size_t k = 0; k < rest.size(); ++k) {
        if (rest[k] == '\\' && k + 1 < rest.size())
            text += rest[++k];
        else if (rest[k] == '"')
            quoted = !quoted;
        else
            text += rest[k];
    }
    if (quoted)
        return std::nullopt;
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}')
        return text.substr(1, text.size() - 2);
    return text;
}

} // namespace tocd
