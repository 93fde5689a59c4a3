#include <algorithm>
#include <charconv>
#include <climits>

#include "toc/encoding.h"
#include "tocd/limits.h"
#include "tocd/service.h"

namespace tocd {

namespace {

    std::optional<std::int32_t> parseId(std::string_view s)
    {
        std::int32_t value = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || end != s.data() + s.size())
            return std::nullopt;
        return value;
    }

    std::string_view trimmed(std::string_view s)
    {
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == ' ')
            s.remove_suffix(1);
        return s;
    }

    // Today's servers refuse every chat command alike; clients know no other chat error.
    constexpr std::string_view refused = "ERROR:913:internal server error";

} // namespace

Session::ChatEntry* Service::chatById(Session& s, std::int32_t id)
{
    const auto it = std::find_if(
        s.m_chats.begin(), s.m_chats.end(), [&](const auto& e) { return e.id == id; });
    return it == s.m_chats.end() ? nullptr : &*it;
}

Session::ChatEntry* Service::chatByArgument(Session& s, std::string_view idArgument)
{
    const std::optional<std::int32_t> id = parseId(idArgument);
    return id ? chatById(s, *id) : nullptr;
}

Session::ChatEntry* Service::joinedChat(Session& s, std::string_view idArgument)
{
    Session::ChatEntry* entry = chatByArgument(s, idArgument);
    return entry && entry->joined ? entry : nullptr;
}

Session::ChatEntry* Service::chatEntryFor(Session& s, Room& room)
{
    const auto it = std::find_if(
        s.m_chats.begin(), s.m_chats.end(), [&](const auto& e) { return e.room == &room; });
    if (it != s.m_chats.end())
        return &*it;
    if (s.m_chats.size() >= limits::ChatIds) {
        // Make room by forgetting the oldest room this connection is no longer in.
        const auto old = std::find_if(
            s.m_chats.begin(), s.m_chats.end(), [](const auto& e) { return !e.joined; });
        if (old == s.m_chats.end())
            return nullptr;
        Room& oldRoom = *old->room;
        s.m_chats.erase(old);
        releaseRoom(oldRoom);
    }
    if (s.m_nextChatId == INT32_MAX)
        return nullptr;
    ++room.references;
    s.m_chats.push_back(Session::ChatEntry { s.m_nextChatId++, &room, false, {} });
    return &s.m_chats.back();
}

void Service::releaseRoom(Room& room)
{
    if (--room.references == 0)
        m_rooms.erase(room.key);
}

void Service::joinRoom(Session& s, Session::ChatEntry& entry)
{
    Room& room = *entry.room;
    const std::string id = std::to_string(entry.id);
    const bool arriving = !entry.joined;
    if (arriving) {
        if (!entry.rate)
            entry.rate.emplace(toc::ParamsOf(toc::RateClass::Chat), nowMs());
        entry.joined = true;
        room.members.push_back(&s);
    }
    s.sendMessage("CHAT_JOIN:" + id + ":" + room.name);

    // A crowded room's member list goes out in several messages rather than one huge one.
    const std::string head = "CHAT_UPDATE_BUDDY:" + id + ":T";
    std::string list = head;
    for (const Session* m : room.members) {
        if (list.size() > head.size()
            && list.size() + 1 + m->m_account->formatted.size() > limits::ChatListPayload) {
            s.sendMessage(list);
            list = head;
        }
        list += ':';
        list += m->m_account->formatted;
    }
    s.sendMessage(list);

    if (!arriving)
        return;
    for (Session* m : room.members) {
        if (m == &s)
            continue;
        if (const Session::ChatEntry* e = chatEntryFor(*m, room))
            m->sendMessage(
                "CHAT_UPDATE_BUDDY:" + std::to_string(e->id) + ":T:" + s.m_account->formatted);
    }
}

void Service::leaveRoom(Session& s, Session::ChatEntry& entry, bool tellLeaver)
{
    Room& room = *entry.room;
    entry.joined = false;
    std::erase(room.members, &s);
    if (tellLeaver)
        s.sendMessage("CHAT_LEFT:" + std::to_string(entry.id));
    for (Session* m : room.members) {
        if (const Session::ChatEntry* e = chatEntryFor(*m, room))
            m->sendMessage(
                "CHAT_UPDATE_BUDDY:" + std::to_string(e->id) + ":F:" + s.m_account->formatted);
    } // The bot does not keep an empty room (and a place in its own ID table) alive.
    if (room.members.size() == 1 && room.members.front()->isBot()) {
        Session& bot = *room.members.front();
        if (Session::ChatEntry* e = chatEntryFor(bot, room))
            leaveRoom(bot, *e, false);
    }
}

void Service::chatJoin(Session& s, Words& w)
{
    if (w.size() < 3)
        return s.sendMessage(refused);
    const std::optional<std::int32_t> exchange = parseId(w[1]);
    const std::string_view name = trimmed(w[2]);
    if (!exchange || name.empty())
        return s.sendMessage(refused);
    // The room name leads CHAT_INVITE, where a colon would shift every field after it.
    if (name.size() > limits::RoomNameBytes
        || name.find_first_of(":\n\r") != std::string_view::npos)
        return s.sendMessage(refused);

    const std::string key = std::to_string(*exchange) + " " + toc::NormalizeName(name);
    auto it = m_rooms.find(key);
    if (it == m_rooms.end()) {
        auto room = std::make_unique<Room>();
        room->key = key;
        room->name = std::string(name);
        it = m_rooms.emplace(key, std::move(room)).first;
    }
    Room& room = *it->second;
    Session::ChatEntry* entry = chatEntryFor(s, room);
    if (!entry) {
        if (room.references == 0)
            m_rooms.erase(key);
        return s.sendMessage(refused);
    }
    joinRoom(s, *entry);
}

void Service::chatSend(Session& s, Words& w)
{
    if (w.size() < 3)
        return s.sendMessage(refused);
    Session::ChatEntry* entry = joinedChat(s, w[1]);
    if (!entry)
        return s.sendMessage(refused);
    Room& room = *entry->room;
    for (Session* m : room.members) {
        if (const Session::ChatEntry* e = chatEntryFor(*m, room))
            m->sendMessage(chatLine(*m, e->id, s, false, w[2]));
    }
}

std::string Service::chatLine(const Session& to, std::int32_t id, const Session& from,
    bool whisper, std::string_view text) const
{
    std::string line = to.m_dialect == Session::Dialect::Toc2 ? "CHAT_IN_ENC:" : "CHAT_IN:";
    line += std::to_string(id) + ":" + from.m_account->formatted + (whisper ? ":T:" : ":F:");
    if (to.m_dialect == Session::Dialect::Toc2)
        line += "A:en:";
    line += text;
    return line;
}

void Service::chatWhisper(Session& s, Words& w)
{
    if (w.size() < 4)
        return s.sendMessage(refused);
    Session::ChatEntry* entry = joinedChat(s, w[1]);
    if (!entry)
        return s.sendMessage(refused);
    Room& room = *entry->room;
    const std::string key = toc::NormalizeName(w[2]);
    const auto to = std::find_if(room.members.begin(), room.members.end(),
        [&](const Session* m) { return m->m_account->name == key; });
    const Session::ChatEntry* e = to == room.members.end() ? nullptr : chatEntryFor(**to, room);
    if (!e)
        return s.sendMessage(refused);
    (*to)->sendMessage(chatLine(**to, e->id, s, true, w[3]));
}

void Service::chatLeave(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(refused);
    Session::ChatEntry* entry = joinedChat(s, w[1]);
    if (!entry)
        return s.sendMessage(refused);
    leaveRoom(s, *entry, true);
}

void Service::chatInvite(Session& s, Words& w)
{
    if (w.size() < 4)
        return s.sendMessage(refused);
    Session::ChatEntry* entry = joinedChat(s, w[1]);
    if (!entry)
        return s.sendMessage(refused);
    Room& room = *entry->room;
    for (std::size_t i = 3; i < w.size(); ++i) {
        Session* t = reachable(*s.m_account, w[i]);
        if (!t) {
            s.sendMessage("ERROR:901:" + w[i]);
            continue;
        }
        Session::ChatEntry* invited = chatEntryFor(*t, room);
        if (!invited)
            continue;
        t->sendMessage("CHAT_INVITE:" + room.name + ":" + std::to_string(invited->id) + ":"
            + s.m_account->formatted + ":" + w[2]);
        if (t->isBot() && !invited->joined)
            joinRoom(*t, *invited);
    }
}

void Service::chatAccept(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(refused);
    Session::ChatEntry* entry = chatByArgument(s, w[1]);
    if (!entry)
        return s.sendMessage(refused);
    joinRoom(s, *entry);
}

} // namespace tocd
