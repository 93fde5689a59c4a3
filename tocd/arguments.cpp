#include "tocd/arguments.h"

namespace tocd {

namespace {

    bool separator(char c) { return c == ' ' || c == '\t'; }

    // Each reader starts at the word's first byte and leaves `i` just past the word; false when the
    // word is malformed. A backslash at the very end has nothing to protect and is kept as itself.
    bool readBare(std::string_view line, std::size_t& i, std::string& word)
    {
        for (; i < line.size() && !separator(line[i]); ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            word += line[i];
        }
        return true;
    }

    bool readQuoted(std::string_view line, std::size_t& i, std::string& word)
    {
        for (++i; i < line.size(); ++i) {
            if (line[i] == '"') {
                ++i;
                return i == line.size() || separator(line[i]);
            }
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            word += line[i];
        }
        return false;
    }

    bool readBraced(std::string_view line, std::size_t& i, std::string& word)
    {
        const std::size_t start = ++i;
        for (std::size_t depth = 1; i < line.size(); ++i) {
            if (line[i] == '\\') {
                ++i;
            } else if (line[i] == '{') {
                ++depth;
            } else if (line[i] == '}' && --depth == 0) {
                word.assign(line.substr(start, i - start));
                ++i;
                return i == line.size() || separator(line[i]);
            }
        }
        return false;
    }

} // namespace

std::optional<std::vector<std::string>> ParseArguments(std::string_view line)
{
    while (!line.empty() && line.back() == '\0')
        line.remove_suffix(1);

    std::vector<std::string> words;
    for (std::size_t i = 0; i < line.size();) {
        if (separator(line[i])) {
            ++i;
            continue;
        }
        std::string word;
        const bool whole = line[i] == '"' ? readQuoted(line, i, word)
            : line[i] == '{'              ? readBraced(line, i, word)
                                          : readBare(line, i, word);
        if (!whole)
            return std::nullopt;
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace tocd
