#include "toc/pacer.h"

namespace toc {

namespace {
    constexpr char DataFrame = 2;
    // Levels of rooms at rest are forgotten past this many, so that commands naming ever new rooms
    // cannot grow the table; a level made afresh is no less strict than one at rest.
    constexpr std::size_t MaxLevels = 64;

    std::string_view commandOf(std::string_view frame)
    {
        std::string_view payload = frame.substr(FlapHeaderSize);
        if (!payload.empty() && payload.back() == '\0')
            payload.remove_suffix(1);
        return payload;
    }
}

void Pacer::Reset()
{
    m_held.clear();
    m_levels.clear();
    m_reader.Clear();
    m_inHandshake = false;
    m_framing = false;
    m_newline = false;
    m_seq.reset();
    m_last.reset();
}

Pacer::Output Pacer::Write(std::string_view bytes, std::int64_t nowMs, bool ahead)
{
    Output out;
    // The handshake line passes as it comes, up to its blank line; a stream that opens with a
    // frame has none.
    std::size_t i = 0;
    while (!m_framing && i < bytes.size()) {
        const char c = bytes[i];
        if (!m_inHandshake && c == '*') {
            m_framing = true;
            break;
        }
        m_inHandshake = true;
        out.send.push_back(c);
        ++i;
        m_framing = c == '\n' && m_newline;
        m_newline = c == '\n';
    }
    if (i < bytes.size()) {
        m_reader.Feed(bytes.substr(i), [&](std::string_view frame) {
            takeFrame(frame, nowMs, ahead, out);
            return true;
        });
    }
    return out;
}

void Pacer::takeFrame(std::string_view frame, std::int64_t nowMs, bool ahead, Output& out)
{
    if (!m_seq) {
        // Frames keep the control's numbering as long as none is held.
        m_seq = static_cast<std::uint16_t>((static_cast<unsigned char>(frame[2]) << 8)
                                           | static_cast<unsigned char>(frame[3]));
    }
    const std::string_view command = commandOf(frame);
    const std::optional<RateKey> key = frame[1] == DataFrame ? RateKeyOf(command) : std::nullopt;
    if (!key) {
        // Keep-alives and the sign-on exchange: the server meters neither.
        leave(frame, out.send);
        return;
    }
    if (command == "toc_init_done") {
        // Ends the sign-on; the class is at rest then, and counting it keeps the model true.
        record(*key, nowMs);
        leave(frame, out.send);
        out.initDone = true;
        return;
    }
    if (ahead)
        m_held.push_front(HeldFrame { std::string(frame), *key });
    else
        m_held.push_back(HeldFrame { std::string(frame), *key });
    release(nowMs, out.send);
}

std::string Pacer::Release(std::int64_t nowMs)
{
    std::string out;
    release(nowMs, out);
    return out;
}

void Pacer::release(std::int64_t nowMs, std::string& out)
{
    while (!m_held.empty() && readyAt(m_held.front().key, nowMs) <= nowMs) {
        record(m_held.front().key, nowMs);
        leave(m_held.front().frame, out);
        m_held.pop_front();
    }
}

std::optional<std::int64_t> Pacer::NextAt(std::int64_t nowMs)
{
    if (m_held.empty())
        return std::nullopt;
    return readyAt(m_held.front().key, nowMs);
}

RateLevel& Pacer::levelOf(const RateKey& key, std::int64_t nowMs)
{
    const auto id = std::pair(key.cls, key.room);
    if (auto it = m_levels.find(id); it != m_levels.end())
        return it->second;
    if (m_levels.size() >= MaxLevels) {
        std::erase_if(m_levels, [&](const auto& entry) {
            const RateLevel& level = entry.second;
            return entry.first.second >= 0 && !level.Limited() && level.LevelAt(nowMs) >= level.Params().max;
        });
    }
    // Made at the class's first command, as if one had just gone: a server may start its level
    // only then (tocd does), and one that started it earlier sees a longer gap, never a shorter.
    RateLevel level(ParamsOf(key.cls), nowMs);
    if (key.cls == RateClass::IM)
        level.SetWarning(m_warning);
    return m_levels.emplace(id, level).first->second;
}

std::int64_t Pacer::readyAt(const RateKey& key, std::int64_t nowMs)
{
    const RateLevel& level = levelOf(key, nowMs);
    const std::int32_t threshold = level.Limited() ? level.Clear() : level.LimitedLevel();
    const std::int32_t window = level.Params().window;
    return level.EarliestAt(nowMs, threshold + (JitterMs + window - 1) / window);
}

void Pacer::record(const RateKey& key, std::int64_t nowMs)
{
    levelOf(key, nowMs).Record(nowMs);
    m_last = key;
}

void Pacer::leave(std::string_view frame, std::string& out)
{
    // Stamped as they leave, so the server sees them in sequence.
    const std::uint16_t seq = *m_seq;
    m_seq = static_cast<std::uint16_t>(seq + 1);
    out.append(frame);
    out[out.size() - frame.size() + 2] = static_cast<char>(seq >> 8);
    out[out.size() - frame.size() + 3] = static_cast<char>(seq & 0xffu);
}

void Pacer::RateLimited()
{
    if (!m_last)
        return;
    if (auto it = m_levels.find(std::pair(m_last->cls, m_last->room)); it != m_levels.end())
        it->second.MarkLimited();
}

void Pacer::SetWarning(std::int32_t percent)
{
    m_warning = percent;
    if (auto it = m_levels.find(std::pair(RateClass::IM, std::int32_t { -1 })); it != m_levels.end())
        it->second.SetWarning(percent);
}

} // namespace toc
