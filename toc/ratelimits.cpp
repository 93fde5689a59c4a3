#include "toc/ratelimits.h"

#include <algorithm>
#include <charconv>

namespace toc {

namespace {

    struct Entry {
        std::string_view word;
        RateClass cls;
    };

    // Commands outside the general class. Chat lines are metered per room, the rest per account.
    constexpr Entry Classified[] = {
        { "toc_chat_send", RateClass::Chat },
        { "toc_chat_whisper", RateClass::Chat },
        { "toc_add_buddy", RateClass::Chat },
        { "toc_remove_buddy", RateClass::Chat },
        { "toc_add_permit", RateClass::Chat },
        { "toc_add_deny", RateClass::Chat },
        { "toc_send_im", RateClass::IM },
        { "toc2_send_im", RateClass::IM },
        { "toc2_send_im_enc", RateClass::IM },
        { "toc_get_status", RateClass::IM },
        { "toc_chat_invite", RateClass::IM },
        { "toc_rvous_accept", RateClass::IM },
        { "toc_rvous_cancel", RateClass::IM },
        { "toc_set_dir", RateClass::Directory },
    };

    constexpr std::string_view SignOnWords[] = { "toc_signon", "toc2_signon", "toc2_login" };

} // namespace

std::optional<RateKey> RateKeyOf(std::string_view command)
{
    const auto space = command.find(' ');
    const std::string_view word = command.substr(0, space);
    if (std::find(std::begin(SignOnWords), std::end(SignOnWords), word) != std::end(SignOnWords))
        return std::nullopt;
    const auto* entry = std::find_if(std::begin(Classified), std::end(Classified),
                                     [&](const Entry& e) { return e.word == word; });
    if (entry == std::end(Classified))
        return RateKey { RateClass::General, -1 };
    RateKey key { entry->cls, -1 };
    if (word == "toc_chat_send" || word == "toc_chat_whisper") {
        // The room is the first argument, quoted or not; one that is not a number meters like any
        // other chat line.
        std::string_view rest = space == std::string_view::npos ? std::string_view {} : command.substr(space + 1);
        const bool quotedRoom = !rest.empty() && rest.front() == '"';
        if (quotedRoom)
            rest.remove_prefix(1);
        std::int32_t room = -1;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), room);
        const std::string_view after(end, static_cast<std::size_t>(rest.data() + rest.size() - end));
        const std::string_view closing = quotedRoom ? "\"" : "";
        if (ec == std::errc() && room >= 0 && after.starts_with(closing)
            && (after.size() == closing.size() || after[closing.size()] == ' '))
            key.room = room;
    }
    return key;
}

RateLevel::RateLevel(const RateClassParams& params, std::int64_t nowMs)
    : m_params(params)
    , m_clear(params.clear)
    , m_limitedLevel(params.limited)
    , m_level(params.max)
    , m_last(nowMs)
{
}

std::int32_t RateLevel::LevelAt(std::int64_t nowMs) const
{
    // The gap is not capped, the level is: a long pause brings the class straight back to max.
    const std::int64_t gap = std::max<std::int64_t>(nowMs - m_last, 0);
    const std::int64_t level = (std::int64_t { m_level } * (m_params.window - 1) + gap) / m_params.window;
    return static_cast<std::int32_t>(std::min<std::int64_t>(level, m_params.max));
}

RateLevel::Verdict RateLevel::Record(std::int64_t nowMs)
{
    m_level = LevelAt(nowMs);
    m_last = std::max(m_last, nowMs);
    if (m_level < m_params.disconnect)
        return Verdict::Disconnect;
    if (m_limited && m_level >= m_clear)
        m_limited = false;
    else if (!m_limited && m_level < m_limitedLevel)
        m_limited = true;
    return m_limited ? Verdict::Dropped : Verdict::Accepted;
}

std::int64_t RateLevel::EarliestAt(std::int64_t nowMs, std::int32_t target) const
{
    if (m_limited)
        target = std::max(target, m_clear);
    target = std::min(target, m_params.max);
    // floor((level * (W - 1) + gap) / W) >= target  <=>  gap >= target * W - level * (W - 1)
    const std::int64_t gap = std::int64_t { target } * m_params.window - std::int64_t { m_level } * (m_params.window - 1);
    return std::max(nowMs, m_last + std::max<std::int64_t>(gap, 0));
}

void RateLevel::SetWarning(std::int32_t percent)
{
    percent = std::clamp(percent, 0, 100);
    const std::int32_t top = m_params.max - 150;
    m_clear = m_params.clear + (top - m_params.clear) * percent / 100;
    m_limitedLevel = m_params.limited + (top - m_params.limited) * percent / 100;
}

} // namespace toc
