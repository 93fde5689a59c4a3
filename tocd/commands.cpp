#include <algorithm>
#include <charconv>
#include <cstdint>

#include "toc/encoding.h"
#include "tocd/limits.h"
#include "tocd/service.h"

namespace tocd {

namespace {

    constexpr std::string_view invalidInput = "ERROR:911";

    template <typename Int> std::optional<Int> parseInt(std::string_view s)
    {
        Int value {};
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || end != s.data() + s.size())
            return std::nullopt;
        return value;
    }

    // Text that becomes a line of CONFIG2 or a field of a list message must not break either.
    bool safeText(std::string_view s, std::size_t maxBytes, bool colonAllowed)
    {
        if (s.empty() || s.size() > maxBytes)
            return false;
        return std::none_of(s.begin(), s.end(), [&](char c) {
            return c == '\n' || c == '\r' || c == '\0' || (!colonAllowed && c == ':');
        });
    }

    // An argument that a client sent bare, split at its spaces: the words from `first` on, joined.
    std::string joinedFrom(const std::vector<std::string>& w, std::size_t first)
    {
        std::string joined = first < w.size() ? w[first] : std::string();
        for (std::size_t i = first + 1; i < w.size(); ++i)
            joined += " " + w[i];
        return joined;
    }

} // namespace

void Service::command(Session& s, std::vector<std::string>& words)
{
    using Handler = void (Service::*)(Session&, Words&);
    struct Entry {
        std::string_view name;
        Handler handler;
    };
    static constexpr Entry table[] = {
        { "toc_init_done", &Service::initDone },
        { "toc_set_info", &Service::setInfo },
        { "toc_get_info", &Service::getInfo },
        { "toc_send_im", &Service::sendIm },
        { "toc2_send_im", &Service::sendIm },
        { "toc_get_status", &Service::getStatus },
        { "toc_set_away", &Service::setAway },
        { "toc_set_idle", &Service::setIdle },
        { "toc_set_caps", &Service::setCaps },
        { "toc_evil", &Service::evil },
        { "toc_format_nickname", &Service::formatNickname },
        { "toc_change_passwd", &Service::changePassword },
        { "toc2_client_event", &Service::clientEvent },
        { "toc2_new_buddies", &Service::newBuddies },
        { "toc2_remove_buddy", &Service::removeBuddy },
        { "toc2_new_group", &Service::newGroup },
        { "toc2_del_group", &Service::deleteGroup },
        { "toc2_add_deny", &Service::addDeny },
        { "toc2_remove_deny", &Service::removeDeny },
        { "toc2_add_permit", &Service::addPermit },
        { "toc2_remove_permit", &Service::removePermit },
        { "toc2_set_pdmode", &Service::setPdmode },
        { "toc_chat_join", &Service::chatJoin },
        { "toc_chat_send", &Service::chatSend },
        { "toc_chat_leave", &Service::chatLeave },
        { "toc_chat_invite", &Service::chatInvite },
        { "toc_chat_accept", &Service::chatAccept },
        { "toc_chat_whisper", &Service::chatWhisper },
        { "toc_add_buddy", &Service::addBuddyOld },
        { "toc_remove_buddy", &Service::removeBuddyOld },
        { "toc_add_permit", &Service::addPermitOld },
        { "toc_add_deny", &Service::addDenyOld },
        { "toc_set_config", &Service::setConfig },
    };
    if (m_options.rateLimits && !meter(s, words))
        return;
    for (const Entry& e : table) {
        if (e.name == words[0]) {
            (this->*e.handler)(s, words);
            return;
        }
    }
    s.sendMessage("ERROR:913:internal server error");
}

bool Service::meter(Session& s, const Words& w)
{
    // A sign-on command sent again once signed on is just another command.
    const toc::RateKey key = toc::RateKeyOf(w[0]).value_or(toc::RateKey {});
    const std::int64_t t = nowMs();
    std::optional<toc::RateLevel>* level = &s.m_rates[static_cast<std::size_t>(key.cls)];
    if (key.cls == toc::RateClass::Chat && (w[0] == "toc_chat_send" || w[0] == "toc_chat_whisper")) {
        // Each room joined has its own; lines naming no room of ours share the account's.
        const std::optional<std::int32_t> room
            = w.size() >= 2 ? parseInt<std::int32_t>(w[1]) : std::nullopt;
        if (Session::ChatEntry* e = room ? chatById(s, *room) : nullptr)
            level = &e->rate;
    }
    if (!*level) // a room invited to, not joined: its lines are refused but still count
        level->emplace(toc::ParamsOf(key.cls), t);
    if (key.cls == toc::RateClass::IM)
        (*level)->SetWarning(warningOf(*s.m_account));
    switch ((*level)->Record(t)) {
    case toc::RateLevel::Verdict::Accepted:
        return true;
    case toc::RateLevel::Verdict::Dropped:
        s.sendMessage("ERROR:903");
        return false;
    case toc::RateLevel::Verdict::Disconnect:
        s.end();
        return false;
    }
    return false;
}

void Service::initDone(Session& s, Words&)
{
    if (s.m_visible)
        return;
    s.m_visible = true;
    tellWatchers(s, true);
    tellAboutBuddies(s, s.m_account->watching);
    // Someone to talk to from the first minute: the bot says hello once per sign-on.
    if (m_bot && reachable(*m_bot->m_account, s.m_account->name) == &s)
        deliverIm(*m_bot, s.m_account->name, "Hi! I am a bot: send me an IM and I will echo it.", false);
}

void Service::setInfo(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    s.m_account->profile = std::move(w[1]);
}

void Service::getInfo(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    // A profile can be read from sign-on on, before the owner's toc_init_done, as old clients do.
    const Account* t = find(toc::NormalizeName(w[1]));
    if (!t || !t->online || !sees(*s.m_account, *t))
        return s.sendMessage("ERROR:901:" + w[1]);
    s.sendMessage("GOTO_URL:profile:info?user=" + t->name);
}

void Service::sendIm(Session& s, Words& w)
{
    if (w.size() < 3)
        return s.sendMessage(invalidInput);
    deliverIm(s, w[1], w[2], w.size() >= 4 && w[3] == "auto");
}

void Service::deliverIm(
    Session& from, std::string_view to, std::string_view text, bool autoResponse)
{
    Session* t = reachable(*from.m_account, to);
    if (!t)
        return from.sendMessage("ERROR:901:" + std::string(to));
    const std::string& name = from.m_account->formatted;
    const std::string_view flag = autoResponse ? ":T" : ":F";
    std::string message;
    switch (t->m_dialect) {
    case Session::Dialect::Toc1:
        message = "IM_IN:" + name + std::string(flag) + ":";
        break;
    case Session::Dialect::Toc2Signon:
        message = "IM_IN2:" + name + std::string(flag) + ":F:";
        break;
    case Session::Dialect::Toc2:
        message = "IM_IN_ENC2:" + name + std::string(flag) + ":F:T:" + userClass(from) + ":F:L:en:";
        break;
    }
    message += text;
    t->sendMessage(message);
    // What the recipient heard from the sender is what it may warn it for.
    Heard& heard = heardFrom(*t->m_account, from.m_account->name, nowMs());
    heard.ims.push_back(nowMs());
    if (heard.ims.size() > 256) // more than a warning could ever need
        heard.ims.pop_front();
    // The bot leaves automatic replies alone, so two auto-responders cannot ping-pong through it.
    if (t->isBot() && !autoResponse && !from.isBot())
        deliverIm(*t, from.m_account->name, "echo: " + std::string(text), false);
}

void Service::getStatus(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    const Session* t = reachable(*s.m_account, w[1]);
    if (!t)
        return s.sendMessage("ERROR:901:" + w[1]);
    s.sendMessage(buddyUpdate(*t, s));
}

void Service::setAway(Session& s, Words& w)
{
    const bool away = w.size() >= 2 && !w[1].empty();
    if (away == s.m_away)
        return;
    s.m_away = away;
    tellWatchers(s, false);
}

void Service::setIdle(Session& s, Words& w)
{
    const std::optional<std::int64_t> seconds
        = w.size() >= 2 ? parseInt<std::int64_t>(w[1]) : std::nullopt;
    if (!seconds || *seconds < 0)
        return s.sendMessage(invalidInput);
    const std::int64_t t = now();
    s.m_idleSince = *seconds == 0 ? 0 : t - std::min(*seconds, t);
    // Idle since the epoch still has to read as "idle".
    if (*seconds != 0 && s.m_idleSince == 0)
        s.m_idleSince = 1;
    tellWatchers(s, false);
}

void Service::setCaps(Session& s, Words& w)
{
    std::string caps;
    for (std::size_t i = 1; i < w.size(); ++i) {
        if (w[i].empty())
            continue;
        if (!caps.empty())
            caps += ',';
        caps += w[i];
    }
    s.m_caps = std::move(caps);
    if (!s.m_visible)
        return;
    const std::string update = capsUpdate(s);
    for (Session* v : viewers(*s.m_account)) {
        if (v->m_dialect != Session::Dialect::Toc1)
            v->sendMessage(update);
    }
}

void Service::evil(Session& s, Words& w)
{
    if (w.size() < 3 || (w[2] != "norm" && w[2] != "anon"))
        return s.sendMessage(invalidInput);
    const bool anonymous = w[2] == "anon";
    Session* t = reachable(*s.m_account, w[1]);
    // Only someone who sent you more IMs in the last hour than you have warned them may be warned.
    const std::int64_t at = nowMs();
    Heard* heard = t ? &heardFrom(*s.m_account, t->m_account->name, at) : nullptr;
    if (!heard || heard->ims.size() <= heard->warnings.size())
        return s.sendMessage("ERROR:902");
    heard->warnings.push_back(at);
    Account& target = *t->m_account;
    // Anonymous warnings weigh less, as they always have.
    target.warning = std::min(100, warningOf(target) + (anonymous ? 3 : 10));
    target.warnedAt = at;
    t->sendMessage("EVILED:" + std::to_string(target.warning) + ":"
        + (anonymous ? "" : s.m_account->formatted));
    tellWatchers(*t, false);
}

void Service::formatNickname(Session& s, Words& w)
{
    const std::string name = joinedFrom(w, 1);
    if (w.size() < 2 || !validScreenName(name) || toc::NormalizeName(name) != s.m_account->name)
        return s.sendMessage(invalidInput);
    s.m_account->formatted = name;
    s.sendMessage("ADMIN_NICK_STATUS:0");
    s.sendMessage("NICK:" + name);
    tellWatchers(s, false);
}

void Service::changePassword(Session& s, Words& w)
{
    if (w.size() < 3 || w[2].empty())
        return s.sendMessage(invalidInput);
    if (w[1] != s.m_account->password)
        return s.sendMessage("ERROR:980");
    s.m_account->password = std::move(w[2]);
    s.sendMessage("ADMIN_PASSWD_STATUS:0");
}

void Service::clientEvent(Session& s, Words& w)
{
    const std::optional<int> status = w.size() >= 3 ? parseInt<int>(w[2]) : std::nullopt;
    if (!status)
        return s.sendMessage(invalidInput);
    Session* t = reachable(*s.m_account, w[1]);
    if (t && t->m_dialect != Session::Dialect::Toc1)
        t->sendMessage("CLIENT_EVENT2:" + s.m_account->formatted + ":" + std::to_string(*status));
}

Group* Service::findGroup(Account& a, std::string_view name)
{
    const auto it = std::find_if(
        a.groups.begin(), a.groups.end(), [&](const Group& g) { return g.name == name; });
    return it == a.groups.end() ? nullptr : &*it;
}

Group* Service::ensureGroup(Account& a, std::string_view name)
{
    if (Group* g = findGroup(a, name))
        return g;
    if (!safeText(name, limits::GroupBytes, true) || a.groups.size() >= limits::Groups)
        return nullptr;
    a.groups.push_back(Group { std::string(name), {} });
    return &a.groups.back();
}

void Service::newBuddies(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    Account& a = *s.m_account;
    const std::string joined = joinedFrom(w, 1);
    std::string_view block = joined;
    Sight before = sight(a, false);
    std::size_t buddies = 0;
    for (const Group& g : a.groups)
        buddies += g.buddies.size();

    std::size_t current = a.groups.size(); // an index: adding a group moves the others
    bool groupRefused = false;
    while (!block.empty()) {
        const std::size_t lf = block.find('\n');
        std::string_view line = block.substr(0, lf);
        block = lf == std::string_view::npos ? std::string_view() : block.substr(lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("g:")) {
            const std::size_t had = a.groups.size();
            Group* g = ensureGroup(a, line.substr(2));
            groupRefused = g == nullptr;
            if (!g) {
                s.sendMessage(invalidInput);
                continue;
            }
            current = static_cast<std::size_t>(g - a.groups.data());
            if (a.groups.size() != had)
                s.sendMessage("INSERTED2:g:" + g->name);
        } else if (line.starts_with("b:")) {
            line.remove_prefix(2);
            const std::size_t colon = line.find(':');
            const std::string_view name = line.substr(0, colon);
            const std::string_view alias
                = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
            if (current >= a.groups.size() && !groupRefused) {
                // A buddy before any group line goes to the usual first group.
                const std::size_t had = a.groups.size();
                Group* g = ensureGroup(a, "Buddies");
                if (g && a.groups.size() != had)
                    s.sendMessage("INSERTED2:g:Buddies");
                current = g ? static_cast<std::size_t>(g - a.groups.data()) : a.groups.size();
            }
            if (current >= a.groups.size() || !validScreenName(name)
                || (!alias.empty() && !safeText(alias, limits::AliasBytes, false))) {
                s.sendMessage(invalidInput);
                continue;
            }
            Group& g = a.groups[current];
            const std::string normalized = toc::NormalizeName(name);
            const auto it = std::find_if(g.buddies.begin(), g.buddies.end(),
                [&](const Buddy& b) { return b.key == normalized; });
            if (it != g.buddies.end()) {
                it->alias = std::string(alias);
            } else if (buddies >= limits::Buddies) {
                s.sendMessage(invalidInput);
                continue;
            } else {
                g.buddies.push_back(Buddy { std::string(name), std::string(alias), normalized });
                ++buddies;
            }
            s.sendMessage(
                "INSERTED2:b:" + std::string(alias) + ":" + std::string(name) + ":" + g.name);
        }
    }
    const std::vector<std::string> added = rewatch(a);
    if (s.m_visible)
        tellAboutBuddies(s, added);
    privacyChanged(s, std::move(before));
}

void Service::removeBuddy(Session& s, Words& w)
{
    if (w.size() < 3)
        return s.sendMessage(invalidInput);
    Account& a = *s.m_account;
    const std::string& group = w.back();
    Sight before = sight(a, false);
    Group* g = findGroup(a, group);
    for (std::size_t i = 1; i + 1 < w.size(); ++i) {
        if (g) {
            const std::string normalized = toc::NormalizeName(w[i]);
            std::erase_if(g->buddies, [&](const Buddy& b) { return b.key == normalized; });
        }
        s.sendMessage("DELETED2:b:" + w[i] + ":" + group);
    }
    rewatch(a);
    privacyChanged(s, std::move(before));
}

void Service::newGroup(Session& s, Words& w)
{
    if (w.size() < 2 || !ensureGroup(*s.m_account, w[1]))
        return s.sendMessage(invalidInput);
    s.sendMessage("INSERTED2:g:" + w[1]);
}

void Service::deleteGroup(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    Account& a = *s.m_account;
    Sight before = sight(a, false);
    std::erase_if(a.groups, [&](const Group& g) { return g.name == w[1]; });
    s.sendMessage("DELETED2:g:" + w[1]);
    rewatch(a);
    privacyChanged(s, std::move(before));
}

void Service::editPrivacyList(Session& s, Words& w, bool deny, bool add)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    Account& a = *s.m_account;
    std::vector<std::string>& list = deny ? a.deny : a.permit;
    const std::size_t cap = deny ? limits::DenyEntries : limits::PermitEntries;
    const std::string kind = deny ? "d:" : "p:";
    Sight before = sight(a, true);
    for (std::size_t i = 1; i < w.size(); ++i) {
        if (!validScreenName(w[i])) {
            s.sendMessage(invalidInput);
            continue;
        }
        const std::string name = toc::NormalizeName(w[i]);
        const auto it = std::find(list.begin(), list.end(), name);
        if (add && it == list.end()) {
            if (list.size() >= cap) {
                s.sendMessage(invalidInput);
                continue;
            }
            list.push_back(name);
        } else if (!add && it != list.end()) {
            list.erase(it);
        }
        s.sendMessage((add ? "INSERTED2:" : "DELETED2:") + kind + name);
    }
    privacyChanged(s, std::move(before));
}

void Service::addDeny(Session& s, Words& w) { editPrivacyList(s, w, true, true); }
void Service::removeDeny(Session& s, Words& w) { editPrivacyList(s, w, true, false); }
void Service::addPermit(Session& s, Words& w) { editPrivacyList(s, w, false, true); }
void Service::removePermit(Session& s, Words& w) { editPrivacyList(s, w, false, false); }

Heard& Service::heardFrom(Account& a, const std::string& sender, std::int64_t at)
{
    constexpr std::int64_t hour = 60 * 60 * 1000;
    const auto prune = [&](Heard& h) {
        while (!h.ims.empty() && h.ims.front() <= at - hour)
            h.ims.pop_front();
        while (!h.warnings.empty() && h.warnings.front() <= at - hour)
            h.warnings.pop_front();
    };
    if (a.heard.size() >= a.heardSweepAt && !a.heard.contains(sender)) {
        // Senders not heard from for an hour are forgotten, a whole sweep at a time.
        for (auto it = a.heard.begin(); it != a.heard.end();) {
            prune(it->second);
            const bool stale = it->second.ims.empty() && it->second.warnings.empty();
            it = stale ? a.heard.erase(it) : std::next(it);
        }
        a.heardSweepAt = std::max<std::size_t>(64, 2 * a.heard.size());
    }
    Heard& h = a.heard[sender];
    prune(h);
    return h;
}

void Service::editBuddiesOld(Session& s, Words& w, bool add)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    Account& a = *s.m_account;
    Sight before = sight(a, false);
    std::size_t buddies = 0;
    for (const Group& g : a.groups)
        buddies += g.buddies.size();
    for (std::size_t i = 1; i < w.size(); ++i) {
        if (!validScreenName(w[i])) {
            s.sendMessage(invalidInput);
            continue;
        }
        const std::string key = toc::NormalizeName(w[i]);
        const auto same = [&](const Buddy& b) { return b.key == key; };
        if (!add) {
            // The first version knows one flat list: the name goes from every group.
            for (Group& g : a.groups)
                std::erase_if(g.buddies, same);
            continue;
        }
        const bool listed = std::any_of(a.groups.begin(), a.groups.end(),
            [&](const Group& g) { return std::any_of(g.buddies.begin(), g.buddies.end(), same); });
        if (listed)
            continue;
        Group* g = a.groups.empty() ? ensureGroup(a, "Buddies") : &a.groups.front();
        if (!g || buddies >= limits::Buddies) {
            s.sendMessage(invalidInput);
            continue;
        }
        g->buddies.push_back(Buddy { w[i], {}, key });
        ++buddies;
    }
    const std::vector<std::string> added = rewatch(a);
    if (s.m_visible)
        tellAboutBuddies(s, added);
    privacyChanged(s, std::move(before));
}

void Service::addBuddyOld(Session& s, Words& w) { editBuddiesOld(s, w, true); }
void Service::removeBuddyOld(Session& s, Words& w) { editBuddiesOld(s, w, false); }

void Service::editPrivacyOld(Session& s, Words& w, bool deny)
{
    Account& a = *s.m_account;
    std::vector<std::string>& list = deny ? a.deny : a.permit;
    const std::size_t cap = deny ? limits::DenyEntries : limits::PermitEntries;
    Sight before = sight(a, true);
    // Adding to a list turns its mode on (deny some, or permit some), even with no names.
    a.pdmode = deny ? 4 : 3;
    for (std::size_t i = 1; i < w.size(); ++i) {
        if (!validScreenName(w[i])) {
            s.sendMessage(invalidInput);
            continue;
        }
        const std::string name = toc::NormalizeName(w[i]);
        if (std::find(list.begin(), list.end(), name) != list.end())
            continue;
        if (list.size() >= cap) {
            s.sendMessage(invalidInput);
            continue;
        }
        list.push_back(name);
    }
    privacyChanged(s, std::move(before));
}

void Service::addPermitOld(Session& s, Words& w) { editPrivacyOld(s, w, false); }
void Service::addDenyOld(Session& s, Words& w) { editPrivacyOld(s, w, true); }

void Service::setConfig(Session& s, Words& w)
{
    if (w.size() < 2)
        return s.sendMessage(invalidInput);
    s.m_account->config = joinedFrom(w, 1);
}

void Service::setPdmode(Session& s, Words& w)
{
    const std::optional<int> mode = w.size() >= 2 ? parseInt<int>(w[1]) : std::nullopt;
    if (!mode || *mode < 1 || *mode > 5)
        return s.sendMessage(invalidInput);
    Sight before = sight(*s.m_account, true);
    s.m_account->pdmode = *mode;
    privacyChanged(s, std::move(before));
}

} // namespace tocd
