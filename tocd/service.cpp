#include "tocd/service.h"

#include <algorithm>
#include <chrono>

#include "toc/encoding.h"
#include "tocd/limits.h"

namespace tocd {

Service::Service(Options options)
    : m_options(std::move(options))
{
    if (m_options.botName.empty())
        return;
    auto account = std::make_unique<Account>();
    account->name = toc::NormalizeName(m_options.botName);
    account->formatted = m_options.botName;
    account->bot = true;
    Account& bot = *account;
    m_accounts.emplace(bot.name, std::move(account));

    m_bot = std::make_unique<Session>(*this, nullptr);
    m_bot->m_state = Session::State::SignedOn;
    m_bot->m_account = &bot;
    m_bot->m_visible = true;
    m_bot->m_signonTime = now();
    m_bot->m_onlineIndex = m_online.size();
    m_online.push_back(m_bot.get());
    bot.online = m_bot.get();
}

Service::~Service() { m_bot.reset(); }

std::int64_t Service::now() const
{
    if (m_options.clock)
        return m_options.clock();
    return std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t Service::nowMs() const
{
    if (m_options.clockMs)
        return m_options.clockMs();
    if (m_options.clock)
        return m_options.clock() * 1000;
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Service::signonAllowed(Account& a)
{
    if (m_options.signonBurst == 0 || m_options.signonsPerMinute == 0)
        return true;
    // Each sign-on books one interval; a burst may run that many intervals ahead of the clock.
    const std::int64_t interval = 60000 / std::min(m_options.signonsPerMinute, 60000u);
    const std::int64_t t = nowMs();
    const std::int64_t due = std::max(a.signonsDueAt, t);
    if (due - t > interval * (m_options.signonBurst - 1))
        return false;
    a.signonsDueAt = due + interval;
    return true;
}

int Service::warningOf(const Account& a) const
{
    // Five points off for every five minutes since the last warning; nothing ticks meanwhile.
    constexpr std::int64_t step = 5 * 60 * 1000;
    const std::int64_t steps = std::max<std::int64_t>(nowMs() - a.warnedAt, 0) / step;
    return static_cast<int>(std::max<std::int64_t>(0, a.warning - 5 * std::min<std::int64_t>(steps, 20)));
}

Account* Service::find(std::string_view name)
{
    const auto it = m_accounts.find(std::string(name));
    return it == m_accounts.end() ? nullptr : it->second.get();
}

const Account* Service::find(std::string_view name) const
{
    const auto it = m_accounts.find(std::string(name));
    return it == m_accounts.end() ? nullptr : it->second.get();
}

std::optional<std::string> Service::profileOf(std::string_view name) const
{
    const Account* a = find(name);
    if (!a)
        return std::nullopt;
    return a->profile;
}

bool Service::validScreenName(std::string_view name)
{
    if (name.size() > limits::NameBytes)
        return false;
    std::size_t letters = 0;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == ' ' || c == '.' || c == '_' || c == '@' || c == '-';
        if (!ok)
            return false;
        letters += c != ' ';
    }
    return letters >= 1 && letters <= limits::NormalizedNameBytes;
}

Service::LoginResult Service::login(
    Session& session, std::string_view name, std::string_view password)
{
    if (!validScreenName(name) || password.empty())
        return LoginResult::Refused;
    const std::string normalized = toc::NormalizeName(name);
    Account* a = find(normalized);
    if (!a) {
        if (m_accounts.size() >= limits::Accounts)
            return LoginResult::Refused;
        auto created = std::make_unique<Account>();
        created->name = normalized;
        created->formatted = std::string(name);
        created->password = std::string(password);
        a = created.get();
        m_accounts.emplace(normalized, std::move(created));
    } else if (a->bot) {
        return LoginResult::Refused;
    }
    // Before the password: guesses count too.
    if (!signonAllowed(*a))
        return LoginResult::TooSoon;
    if (a->password != password)
        return LoginResult::Refused;
    // A second sign-on takes over the account; the older connection goes.
    if (a->online)
        a->online->end();

    session.m_account = a;
    session.m_visible = false;
    session.m_signonTime = now();
    // Metering starts at rest at sign-on: a burst right after it meets the limits soonest.
    for (std::size_t c = 0; c < toc::RateClasses.size(); ++c)
        session.m_rates[c].emplace(toc::RateClasses[c], nowMs());
    session.m_onlineIndex = m_online.size();
    m_online.push_back(&session);
    a->online = &session;

    if (session.m_dialect == Session::Dialect::Toc1) {
        // The first version answers in this order, with the text its client stored, or else the
        // lists in that version's layout.
        session.sendMessage("SIGN_ON:TOC1.0");
        std::string config = "CONFIG:";
        if (a->config) {
            config += *a->config;
        } else {
            if (a->pdmode != 0)
                config += "m " + std::to_string(a->pdmode) + "\n";
            for (const Group& g : a->groups) {
                config += "g " + g.name + "\n";
                for (const Buddy& b : g.buddies)
                    config += "b " + b.name + "\n";
            }
            for (const std::string& p : a->permit)
                config += "p " + p + "\n";
            for (const std::string& d : a->deny)
                config += "d " + d + "\n";
        }
        session.sendMessage(config);
        session.sendMessage("NICK:" + a->formatted);
        return LoginResult::Ok;
    }
    session.sendMessage("SIGN_ON:TOC2.0");
    session.sendMessage("NICK:" + a->formatted);
    std::string config = "CONFIG2:";
    for (const std::string& d : a->deny)
        config += "d:" + d + "\n";
    for (const std::string& p : a->permit)
        config += "p:" + p + "\n";
    if (a->pdmode != 0)
        config += "m:" + std::to_string(a->pdmode) + "\n";
    for (const Group& g : a->groups) {
        config += "g:" + g.name + "\n";
        for (const Buddy& b : g.buddies)
            config += "b:" + b.name + (b.alias.empty() ? "" : ":" + b.alias) + "\n";
    }
    config += "done:\n";
    session.sendMessage(config);
    return LoginResult::Ok;
}

void Service::signOff(Session& s)
{
    Account* a = s.m_account;
    if (!a)
        return;
    for (Session::ChatEntry& e : s.m_chats) {
        if (e.joined)
            leaveRoom(s, e, false);
        releaseRoom(*e.room);
    }
    s.m_chats.clear();
    if (s.m_visible)
        tellAll(viewers(*a), [&](const Session& v) { return departure(*a, v); });
    s.m_visible = false;
    s.m_account = nullptr;
    a->online = nullptr;
    Session* last = m_online.back();
    m_online[s.m_onlineIndex] = last;
    last->m_onlineIndex = s.m_onlineIndex;
    m_online.pop_back();
}

void Service::keepAlive()
{
    for (Session* s : m_online)
        s->keepAlive();
}

bool Service::mayView(const Account& target, const Account& viewer)
{
    if (&target == &viewer)
        return true;
    const auto listed = [&](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), viewer.name) != list.end();
    };
    switch (target.pdmode) {
    case 1: // permit all
        return true;
    case 2: // deny all
        return false;
    case 3: // permit some
        return listed(target.permit);
    case 5: // buddies only
        return std::binary_search(target.watching.begin(), target.watching.end(), viewer.name);
    default: // deny some; also an account that never chose, so that blocking works from the start
        return !listed(target.deny);
    }
}

bool Service::sees(const Account& viewer, const Account& target)
{
    return mayView(target, viewer) && mayView(viewer, target);
}

Session* Service::reachable(const Account& viewer, std::string_view name)
{
    Account* t = find(toc::NormalizeName(name));
    if (!t || !t->online)
        return nullptr;
    if (t == &viewer)
        return t->online;
    if (!t->online->m_visible || !sees(viewer, *t))
        return nullptr;
    return t->online;
}

std::string Service::userClass(const Session& s) { return s.m_away ? " OU" : " O "; }

std::string Service::buddyUpdate(const Session& s, const Session& viewer) const
{
    const Account& a = *s.m_account;
    const std::int64_t idle
        = s.m_idleSince == 0 ? 0 : std::max<std::int64_t>(0, now() - s.m_idleSince) / 60;
    const bool first = viewer.m_dialect == Session::Dialect::Toc1;
    return (first ? "UPDATE_BUDDY:" : "UPDATE_BUDDY2:") + a.formatted + ":T:"
        + std::to_string(warningOf(a)) + ":" + std::to_string(s.m_signonTime) + ":"
        + std::to_string(idle) + ":" + userClass(s) + (first ? "" : ":");
}

std::string Service::capsUpdate(const Session& s)
{
    return "BUDDY_CAPS2:" + s.m_account->formatted + ":" + s.m_caps;
}

std::string Service::departure(const Account& a, const Session& viewer)
{
    if (viewer.m_dialect == Session::Dialect::Toc1)
        return "UPDATE_BUDDY:" + a.name + ":F:0:0:0:   ";
    return "UPDATE_BUDDY2:" + a.name + ":F:0:0:0:   :";
}

void Service::tellAll(
    const std::vector<Session*>& to, const std::function<std::string(const Session&)>& make)
{
    // Two dialects write presence differently; build each form once, not once per viewer.
    std::string forms[2];
    for (Session* v : to) {
        std::string& form = forms[v->m_dialect == Session::Dialect::Toc1];
        if (form.empty())
            form = make(*v);
        v->sendMessage(form);
    }
}

std::vector<Session*> Service::viewers(const Account& a) const
{
    std::vector<Session*> out;
    const auto it = m_watchers.find(a.name);
    if (it == m_watchers.end())
        return out;
    for (Account* w : it->second) {
        if (w->online && w->online->m_visible && sees(*w, a))
            out.push_back(w->online);
    }
    return out;
}

std::vector<Session*> Service::shown(const Account& a) const
{
    std::vector<Session*> out;
    for (const std::string& name : a.watching) {
        const Account* b = find(name);
        if (b && b != &a && b->online && b->online->m_visible && sees(a, *b))
            out.push_back(b->online);
    }
    return out;
}

Service::Sight Service::sight(const Account& a, bool withShown) const
{
    Sight out { viewers(a), std::nullopt };
    if (withShown)
        out.shown = shown(a);
    return out;
}

void Service::tellWatchers(Session& s, bool withCaps)
{
    if (!s.m_visible)
        return;
    const std::vector<Session*> to = viewers(*s.m_account);
    tellAll(to, [&](const Session& v) { return buddyUpdate(s, v); });
    if (!withCaps || s.m_caps.empty())
        return;
    const std::string caps = capsUpdate(s);
    for (Session* v : to) {
        if (v->m_dialect != Session::Dialect::Toc1)
            v->sendMessage(caps);
    }
}

void Service::tellAboutBuddies(Session& s, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        const Account* b = find(name);
        if (!b || !b->online || !b->online->m_visible || !sees(*s.m_account, *b))
            continue;
        s.sendMessage(buddyUpdate(*b->online, s));
        if (!b->online->m_caps.empty() && s.m_dialect != Session::Dialect::Toc1)
            s.sendMessage(capsUpdate(*b->online));
    }
}

void Service::privacyChanged(Session& s, Sight before)
{
    if (!s.m_visible)
        return;
    // Sessions in `now` and not in `then`, and the other way round.
    const auto difference = [](std::vector<Session*> now, std::vector<Session*> then) {
        std::sort(now.begin(), now.end());
        std::sort(then.begin(), then.end());
        std::pair<std::vector<Session*>, std::vector<Session*>> out;
        std::set_difference(
            now.begin(), now.end(), then.begin(), then.end(), std::back_inserter(out.first));
        std::set_difference(
            then.begin(), then.end(), now.begin(), now.end(), std::back_inserter(out.second));
        return out;
    };
    const auto arrive = [this](Session& about, Session& to) {
        to.sendMessage(buddyUpdate(about, to));
        if (!about.m_caps.empty() && to.m_dialect != Session::Dialect::Toc1)
            to.sendMessage(capsUpdate(about));
    };
    Account& a = *s.m_account;
    const auto [gained, lost] = difference(viewers(a), std::move(before.viewers));
    for (Session* v : gained)
        arrive(s, *v);
    tellAll(lost, [&](const Session& v) { return departure(a, v); });
    if (!before.shown)
        return;
    const auto [appeared, hidden] = difference(shown(a), std::move(*before.shown));
    for (Session* b : appeared)
        arrive(*b, s);
    for (Session* b : hidden)
        s.sendMessage(departure(*b->m_account, s));
}

std::vector<std::string> Service::rewatch(Account& a)
{
    std::vector<std::string> now;
    for (const Group& g : a.groups) {
        for (const Buddy& b : g.buddies)
            now.push_back(b.key);
    }
    std::sort(now.begin(), now.end());
    now.erase(std::unique(now.begin(), now.end()), now.end());

    std::vector<std::string> gone;
    std::set_difference(
        a.watching.begin(), a.watching.end(), now.begin(), now.end(), std::back_inserter(gone));
    for (const std::string& name : gone) {
        auto it = m_watchers.find(name);
        if (it == m_watchers.end())
            continue;
        std::erase(it->second, &a);
        if (it->second.empty())
            m_watchers.erase(it);
    }
    std::vector<std::string> added;
    std::set_difference(
        now.begin(), now.end(), a.watching.begin(), a.watching.end(), std::back_inserter(added));
    for (const std::string& name : added)
        m_watchers[name].push_back(&a);
    a.watching = std::move(now);
    return added;
}

} // namespace tocd
