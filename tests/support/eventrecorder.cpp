#include "tests/support/eventrecorder.h"

#include <cstdio>

namespace testing_support {

std::string Quote(const std::string& bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02x", u);
            out += buf;
        }
    }
    return out + "\"";
}

namespace {
    std::string list(const std::vector<std::string>& items)
    {
        std::string out = "[";
        for (std::size_t i = 0; i < items.size(); ++i)
            out += (i ? ", " : "") + Quote(items[i]);
        return out + "]";
    }
    std::string b(bool v) { return v ? "true" : "false"; }
    std::string n(long long v) { return std::to_string(v); }
}

std::string EventRecorder::Joined() const
{
    std::string all;
    for (const auto& line : log)
        all += line + "\n";
    return all;
}

void EventRecorder::add(const std::string& name, const std::string& args)
{
    log.push_back(name + "(" + args + ")");
    if (after)
        after(name);
}

void EventRecorder::JoinedChat(const std::string& s, std::int32_t id) { add("JoinedChat", Quote(s) + ", " + n(id)); }
void EventRecorder::ChatMessage(std::int32_t id, const std::string& u, const std::string& m)
{
    add("ChatMessage", n(id) + ", " + Quote(u) + ", " + Quote(m));
}
void EventRecorder::ChatInvite(const std::string& c, std::int32_t id, const std::string& f, const std::string& m)
{
    add("ChatInvite", Quote(c) + ", " + n(id) + ", " + Quote(f) + ", " + Quote(m));
}
void EventRecorder::LeftChat(std::int32_t id) { add("LeftChat", n(id)); }
void EventRecorder::ChatUserUpdate(const std::string& u, bool in, std::int32_t id)
{
    add("ChatUserUpdate", Quote(u) + ", " + b(in) + ", " + n(id));
}
void EventRecorder::BuddyUpdate(const std::string& u, bool on, std::int16_t w, std::int32_t t, std::int32_t i,
                                const std::string& c)
{
    add("BuddyUpdate", Quote(u) + ", " + b(on) + ", " + n(w) + ", " + n(t) + ", " + n(i) + ", " + Quote(c));
}
void EventRecorder::BuddyCapabilities(const std::string& u, const std::string& c)
{
    add("BuddyCapabilities", Quote(u) + ", " + Quote(c));
}
void EventRecorder::BuddyBart(const std::string& u, const std::string& c) { add("BuddyBart", Quote(u) + ", " + Quote(c)); }
void EventRecorder::BuddyAdded(const std::string& g, const std::string& u, const std::string& a)
{
    add("BuddyAdded", Quote(g) + ", " + Quote(u) + ", " + Quote(a));
}
void EventRecorder::GroupAdded(const std::string& g) { add("GroupAdded", Quote(g)); }
void EventRecorder::PrivateBuddyAdded(const std::string& u) { add("PrivateBuddyAdded", Quote(u)); }
void EventRecorder::BuddyBlocked(const std::string& u) { add("BuddyBlocked", Quote(u)); }
void EventRecorder::BuddyRemoved(const std::string& g, const std::string& u)
{
    add("BuddyRemoved", Quote(g) + ", " + Quote(u));
}
void EventRecorder::GroupRemoved(const std::string& g) { add("GroupRemoved", Quote(g)); }
void EventRecorder::PrivateBuddyRemoved(const std::string& u) { add("PrivateBuddyRemoved", Quote(u)); }
void EventRecorder::BuddyUnblocked(const std::string& u) { add("BuddyUnblocked", Quote(u)); }
void EventRecorder::LoggedIn(const std::string& u, const std::vector<std::string>& bl,
                             const std::vector<std::string>& dl, const std::vector<std::string>& pl,
                             const std::vector<std::string>& md, const std::string& prefs, std::int16_t mode)
{
    add("LoggedIn", Quote(u) + ", " + list(bl) + ", " + list(dl) + ", " + list(pl) + ", " + list(md) + ", "
            + Quote(prefs) + ", " + n(mode));
}
void EventRecorder::LoggedOut(const std::string& u) { add("LoggedOut", Quote(u)); }
void EventRecorder::ScreennameFormat(const std::string& s) { add("ScreennameFormat", Quote(s)); }
void EventRecorder::InstantMessage(const std::string& u, const std::string& m, bool a, const std::string& c)
{
    add("InstantMessage", Quote(u) + ", " + Quote(m) + ", " + b(a) + ", " + Quote(c));
}
void EventRecorder::UserProfile(const std::string& url) { add("UserProfile", Quote(url)); }
void EventRecorder::Error(std::int16_t code, const std::string& e) { add("Error", n(code) + ", " + Quote(e)); }
void EventRecorder::Warned(const std::string& w, const std::string& f) { add("Warned", Quote(w) + ", " + Quote(f)); }
void EventRecorder::TypingStatus(const std::string& u, std::int16_t s) { add("TypingStatus", Quote(u) + ", " + n(s)); }
void EventRecorder::WinsockError(const std::string& e) { add("WinsockError", Quote(e)); }
void EventRecorder::RendevousRequest(const std::string& u, const std::string& uuid, const std::string& cookie,
                                     const std::string& rip, const std::string& pip, const std::string& vip,
                                     std::int32_t port)
{
    add("RendevousRequest", Quote(u) + ", " + Quote(uuid) + ", " + Quote(cookie) + ", " + Quote(rip) + ", "
            + Quote(pip) + ", " + Quote(vip) + ", " + n(port));
}
void EventRecorder::IncomingPacket(const std::string& p)
{
    if (logPackets)
        add("IncomingPacket", packetBytes ? Quote(p) : n(static_cast<long long>(p.size())) + " bytes");
    else if (after)
        after("IncomingPacket");
}
void EventRecorder::PasswordChanged() { add("PasswordChanged", ""); }
void EventRecorder::ScreenNameFormatted() { add("ScreenNameFormatted", ""); }

} // namespace testing_support
