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

// Each argument as the log shows it: text quoted, flags as true/false, numbers in decimal.
namespace {
    std::string arg(const std::string& v) { return Quote(v); }
    std::string arg(bool v) { return v ? "true" : "false"; }
    std::string arg(long long v) { return std::to_string(v); }
    std::string arg(const std::vector<std::string>& items)
    {
        std::string out = "[";
        for (std::size_t i = 0; i < items.size(); ++i)
            out += (i ? ", " : "") + Quote(items[i]);
        return out + "]";
    }
    template <typename... Args> std::string args(const Args&... values)
    {
        std::string out;
        ((out += (out.empty() ? "" : ", ") + arg(values)), ...);
        return out;
    }
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

using L = long long;
using S = std::string;
using V = std::vector<std::string>;

void EventRecorder::JoinedChat(const S& c, std::int32_t id) { add("JoinedChat", args(c, L { id })); }
void EventRecorder::ChatMessage(std::int32_t id, const S& u, const S& m)
{
    add("ChatMessage", args(L { id }, u, m));
}
void EventRecorder::ChatInvite(const S& c, std::int32_t id, const S& f, const S& m)
{
    add("ChatInvite", args(c, L { id }, f, m));
}
void EventRecorder::LeftChat(std::int32_t id) { add("LeftChat", args(L { id })); }
void EventRecorder::ChatUserUpdate(const S& u, bool in, std::int32_t id)
{
    add("ChatUserUpdate", args(u, in, L { id }));
}
void EventRecorder::BuddyUpdate(const S& u, bool on, std::int16_t w, std::int32_t t, std::int32_t i, const S& c)
{
    add("BuddyUpdate", args(u, on, L { w }, L { t }, L { i }, c));
}
void EventRecorder::BuddyCapabilities(const S& u, const S& c) { add("BuddyCapabilities", args(u, c)); }
void EventRecorder::BuddyBart(const S& u, const S& b) { add("BuddyBart", args(u, b)); }
void EventRecorder::BuddyAdded(const S& g, const S& u, const S& a) { add("BuddyAdded", args(g, u, a)); }
void EventRecorder::GroupAdded(const S& g) { add("GroupAdded", args(g)); }
void EventRecorder::PrivateBuddyAdded(const S& u) { add("PrivateBuddyAdded", args(u)); }
void EventRecorder::BuddyBlocked(const S& u) { add("BuddyBlocked", args(u)); }
void EventRecorder::BuddyRemoved(const S& g, const S& u) { add("BuddyRemoved", args(g, u)); }
void EventRecorder::GroupRemoved(const S& g) { add("GroupRemoved", args(g)); }
void EventRecorder::PrivateBuddyRemoved(const S& u) { add("PrivateBuddyRemoved", args(u)); }
void EventRecorder::BuddyUnblocked(const S& u) { add("BuddyUnblocked", args(u)); }
void EventRecorder::LoggedIn(const S& u, const V& bl, const V& dl, const V& pl, const V& md, const S& prefs,
                             std::int16_t mode)
{
    add("LoggedIn", args(u, bl, dl, pl, md, prefs, L { mode }));
}
void EventRecorder::LoggedOut(const S& u) { add("LoggedOut", args(u)); }
void EventRecorder::ScreennameFormat(const S& s) { add("ScreennameFormat", args(s)); }
void EventRecorder::InstantMessage(const S& u, const S& m, bool a, const S& c)
{
    add("InstantMessage", args(u, m, a, c));
}
void EventRecorder::UserProfile(const S& url) { add("UserProfile", args(url)); }
void EventRecorder::Error(std::int16_t code, const S& e) { add("Error", args(L { code }, e)); }
void EventRecorder::Warned(const S& w, const S& f) { add("Warned", args(w, f)); }
void EventRecorder::TypingStatus(const S& u, std::int16_t s) { add("TypingStatus", args(u, L { s })); }
void EventRecorder::WinsockError(const S& e) { add("WinsockError", args(e)); }
void EventRecorder::RendevousRequest(const S& u, const S& uuid, const S& cookie, const S& rip, const S& pip,
                                     const S& vip, std::int32_t port)
{
    add("RendevousRequest", args(u, uuid, cookie, rip, pip, vip, L { port }));
}
void EventRecorder::IncomingPacket(const S& p)
{
    if (logPackets)
        add("IncomingPacket", packetBytes ? Quote(p) : std::to_string(p.size()) + " bytes");
    else if (after)
        after("IncomingPacket");
}
void EventRecorder::PasswordChanged() { add("PasswordChanged", ""); }
void EventRecorder::ScreenNameFormatted() { add("ScreenNameFormatted", ""); }

} // namespace testing_support
