#include "tools/autoreply.h"

#include <cstdio>

#include "toc/encoding.h"

namespace tocli {

namespace {

// Each name costs an IM from a distinct screen name within the interval; past this many the
// oldest answers are forgotten rather than let memory grow.
constexpr std::size_t MaxRemembered = 100000;

} // namespace

AutoReply::AutoReply(std::chrono::seconds every)
    : m_every(every)
{
}

void AutoReply::SetAway(const std::optional<std::string>& text)
{
    m_answered.clear();
    if (text && !text->empty())
        m_away = text;
    else
        m_away.reset();
}

std::optional<std::string> AutoReply::Answer(std::string_view self, std::string_view sender, bool autoResponse,
                                             Clock::time_point now, const std::tm& local)
{
    if (!m_away || autoResponse || m_every.count() <= 0)
        return std::nullopt;
    std::string name = toc::NormalizeName(sender);
    if (name.empty() || name == toc::NormalizeName(self))
        return std::nullopt;
    const auto last = m_answered.find(name);
    if (last != m_answered.end() && now - last->second < m_every)
        return std::nullopt;
    if (last == m_answered.end() && m_answered.size() >= MaxRemembered)
        forgetExpired(now);
    m_answered[std::move(name)] = now;
    return ExpandAway(*m_away, sender, local);
}

void AutoReply::forgetExpired(Clock::time_point now)
{
    std::erase_if(m_answered, [&](const auto& entry) { return now - entry.second >= m_every; });
    if (m_answered.size() >= MaxRemembered)
        m_answered.clear();
}

std::string ExpandAway(std::string_view text, std::string_view sender, const std::tm& local)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char buffer[40];
        switch (text[i + 1]) {
        case 'n':
            out += sender;
            break;
        case 'd':
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                          local.tm_mday);
            out += buffer;
            break;
        case 't':
            std::snprintf(buffer, sizeof buffer, "%02d:%02d", local.tm_hour, local.tm_min);
            out += buffer;
            break;
        case '%':
            out += '%';
            break;
        default:
            out += '%';
            continue;
        }
        ++i;
    }
    return out;
}

std::tm LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return local;
}

} // namespace tocli
