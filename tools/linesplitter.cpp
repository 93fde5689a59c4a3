#include "tools/linesplitter.h"

namespace tocli {

namespace {

std::string_view withoutCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace

LineSplitter::LineSplitter(std::size_t maxLine)
    : m_maxLine(maxLine)
{
}

bool LineSplitter::Feed(std::string_view bytes, const OnLine& onLine, const OnOverflow& onOverflow)
{
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, lf);
        if (!m_overflowing && m_partial.size() + piece.size() > m_maxLine) {
            m_overflowing = true;
            m_partial.clear();
            m_partial.shrink_to_fit();
            if (!onOverflow())
                return false;
        }
        if (lf == std::string_view::npos) {
            if (!m_overflowing)
                m_partial.append(piece);
            return true;
        }
        bytes.remove_prefix(lf + 1);
        if (m_overflowing) {
            m_overflowing = false;
            continue;
        }
        bool more;
        if (m_partial.empty()) {
            more = onLine(withoutCr(piece));
        } else {
            m_partial.append(piece);
            const std::string line = std::move(m_partial);
            m_partial.clear();
            more = onLine(withoutCr(line));
        }
        if (!more)
            return false;
    }
    return true;
}

std::optional<std::string> LineSplitter::Finish()
{
    const bool had = !m_partial.empty() && !m_overflowing;
    std::string last = std::move(m_partial);
    m_partial.clear();
    m_overflowing = false;
    if (!had)
        return std::nullopt;
    return std::string(withoutCr(last));
}

} // namespace tocli
