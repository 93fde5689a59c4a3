#include "tools/commanddispatcher.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <variant>
#include <vector>

#include "toc/account.h"

namespace tocli {

namespace {

enum class Kind { Text, Int16, Int32, Bool };

struct Param {
    const char* name;
    Kind kind;
    bool optional = false;
};

// An argument after checking: absent (an optional one left out), bytes, a number already known
// to fit its parameter, or a flag.
using Arg = std::variant<std::monostate, std::string, std::int32_t, bool>;
using Args = std::vector<Arg>;
using Call = std::function<std::optional<Json>(toc::OrbTOCSock&, const Args&)>;
// What the account does for a method when it keeps what the method sets; `what` is the line.
using Keep = std::function<void(toc::Account&, const Args&, const std::string& what)>;

struct Method {
    const char* name;
    std::vector<Param> params;
    Call call;
    Keep keep = {};
    bool answers = false; // returns a value rather than sending anything
};

const std::string& text(const Args& a, std::size_t i) { return std::get<std::string>(a[i]); }
std::int16_t int16(const Args& a, std::size_t i) { return static_cast<std::int16_t>(std::get<std::int32_t>(a[i])); }
std::int32_t int32(const Args& a, std::size_t i) { return std::get<std::int32_t>(a[i]); }
bool flag(const Args& a, std::size_t i) { return std::get<bool>(a[i]); }
bool given(const Args& a, std::size_t i) { return !std::holds_alternative<std::monostate>(a[i]); }
std::int32_t int32Or(const Args& a, std::size_t i, std::int32_t fallback) { return given(a, i) ? int32(a, i) : fallback; }

// Wraps a method without a result.
template <typename F> Call run(F f)
{
    return [f](toc::OrbTOCSock& c, const Args& a) -> std::optional<Json> {
        f(c, a);
        return std::nullopt;
    };
}

const std::vector<Method>& methods()
{
    using C = toc::OrbTOCSock;
    using K = toc::Account;
    using A = Args;
    using W = const std::string&;
    constexpr Kind T = Kind::Text, I16 = Kind::Int16, I32 = Kind::Int32, B = Kind::Bool;
    static const std::vector<Method> table = {
        { "Login",
          { { "UserName", T }, { "Password", T }, { "TOCServer", T }, { "Port", I32 }, { "AuthServer", T, true } },
          run([](C& c, const A& a) {
              c.Login(text(a, 0), text(a, 1), text(a, 2), int32(a, 3),
                      given(a, 4) ? std::optional<std::string>(text(a, 4)) : std::nullopt);
          }),
          [](K& k, const A& a, W) {
              k.SignOn({ text(a, 0), text(a, 1), text(a, 2), int32(a, 3),
                         given(a, 4) ? std::optional<std::string>(text(a, 4)) : std::nullopt });
          } },
        { "LogOff", {}, run([](C& c, const A&) { c.LogOff(); }), [](K& k, const A&, W) { k.LogOff(); } },
        { "SendPacket", { { "intChannel", I16 }, { "strData", T } },
          run([](C& c, const A& a) { c.SendPacket(int16(a, 0), text(a, 1)); }) },
        { "JoinChat", { { "strRoomName", T }, { "intExchange", I16 } },
          run([](C& c, const A& a) { c.JoinChat(text(a, 0), int16(a, 1)); }),
          [](K& k, const A& a, W what) { k.JoinChat(text(a, 0), int16(a, 1), what); } },
        { "LeaveChat", { { "strChatName", T }, { "lngChatID", I32, true } },
          run([](C& c, const A& a) { c.LeaveChat(text(a, 0), int32Or(a, 1, 0)); }) },
        { "SendChat", { { "strChatName", T }, { "strMessage", T }, { "lngChatID", I32, true } },
          run([](C& c, const A& a) { c.SendChat(text(a, 0), text(a, 1), int32Or(a, 2, 0)); }) },
        { "GetProfile", { { "strUserName", T } }, run([](C& c, const A& a) { c.GetProfile(text(a, 0)); }) },
        { "SendIM", { { "strUserName", T }, { "strMessage", T }, { "AutoResponse", B, true } },
          run([](C& c, const A& a) { c.SendIM(text(a, 0), text(a, 1), given(a, 2) && flag(a, 2)); }) },
        { "ChangePassword", { { "strOldPassword", T }, { "strNewPassword", T } },
          run([](C& c, const A& a) { c.ChangePassword(text(a, 0), text(a, 1)); }),
          [](K& k, const A& a, W what) { k.ChangePassword(text(a, 0), text(a, 1), what); } },
        { "FormatUserName", { { "strFormatted", T } },
          run([](C& c, const A& a) { c.FormatUserName(text(a, 0)); }) },
        { "SetAwayMessage", { { "strAwayMessage", T } },
          run([](C& c, const A& a) { c.SetAwayMessage(text(a, 0)); }),
          [](K& k, const A& a, W) { k.SetAwayMessage(text(a, 0)); } },
        { "SetProfile", { { "strProfile", T } }, run([](C& c, const A& a) { c.SetProfile(text(a, 0)); }),
          [](K& k, const A& a, W) { k.SetProfile(text(a, 0)); } },
        { "GetStatus", { { "strUserName", T } }, run([](C& c, const A& a) { c.GetStatus(text(a, 0)); }) },
        { "SetIdleTime", { { "lngMinutes", I32 } }, run([](C& c, const A& a) { c.SetIdleTime(int32(a, 0)); }),
          [](K& k, const A& a, W) { k.SetIdleTime(int32(a, 0)); } },
        { "AcceptChatInvite", { { "lngChatID", I32 } },
          run([](C& c, const A& a) { c.AcceptChatInvite(int32(a, 0)); }) },
        { "InviteUsers",
          { { "strChatName", T }, { "strInviteMessage", T }, { "strUsers", T }, { "lngChatID", I32, true } },
          run([](C& c, const A& a) { c.InviteUsers(text(a, 0), text(a, 1), text(a, 2), int32Or(a, 3, 0)); }) },
        { "WarnUser", { { "strUserName", T }, { "blnAnonymous", B } },
          run([](C& c, const A& a) { c.WarnUser(text(a, 0), flag(a, 1)); }) },
        { "AddBuddy", { { "strGroup", T }, { "strBuddy", T } },
          run([](C& c, const A& a) { c.AddBuddy(text(a, 0), text(a, 1)); }) },
        { "RemoveBuddy", { { "strGroup", T }, { "strBuddy", T } },
          run([](C& c, const A& a) { c.RemoveBuddy(text(a, 0), text(a, 1)); }) },
        { "AddGroup", { { "strGroup", T } }, run([](C& c, const A& a) { c.AddGroup(text(a, 0)); }) },
        { "RemoveGroup", { { "strGroup", T } }, run([](C& c, const A& a) { c.RemoveGroup(text(a, 0)); }) },
        { "BlockUser", { { "strUserName", T } }, run([](C& c, const A& a) { c.BlockUser(text(a, 0)); }) },
        { "UnblockUser", { { "strUserName", T } }, run([](C& c, const A& a) { c.UnblockUser(text(a, 0)); }) },
        { "AddPrivateUser", { { "strUserName", T } },
          run([](C& c, const A& a) { c.AddPrivateUser(text(a, 0)); }) },
        { "RemovePrivateUser", { { "strUserName", T } },
          run([](C& c, const A& a) { c.RemovePrivateUser(text(a, 0)); }) },
        { "SetPrivacy", { { "intMode", I16 } }, run([](C& c, const A& a) { c.SetPrivacy(int16(a, 0)); }) },
        { "SetCapability", { { "strCapUUID", T } },
          run([](C& c, const A& a) { c.SetCapability(text(a, 0)); }),
          [](K& k, const A& a, W) { k.SetCapability(text(a, 0)); } },
        { "RemoveHtml", { { "strMessage", T } },
          [](C& c, const A& a) -> std::optional<Json> { return BytesToJson(c.RemoveHtml(text(a, 0))); }, {}, true },
        { "GetChatName", { { "lngChatID", I32 } },
          [](C& c, const A& a) -> std::optional<Json> { return BytesToJson(c.GetChatName(int32(a, 0))); }, {}, true },
        { "LastChatID", {}, [](C& c, const A&) -> std::optional<Json> { return c.LastChatID(); }, {}, true },
        { "SetLastChatID", { { "value", I32 } }, run([](C& c, const A& a) { c.SetLastChatID(int32(a, 0)); }) },
    };
    return table;
}

std::string errorLine(const std::string& message)
{
    Json out = Json::object();
    out["error"] = message;
    // Messages quote what the user sent, which need not be UTF-8.
    return out.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return "a string";
    case Kind::Int16:
        return "an integer from -32768 to 32767";
    case Kind::Int32:
        return "an integer from -2147483648 to 2147483647";
    case Kind::Bool:
        return "true or false";
    }
    return "";
}

std::optional<std::int32_t> integerIn(const Json& v, std::int64_t low, std::int64_t high)
{
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(high))
            return std::nullopt;
        return static_cast<std::int32_t>(u);
    }
    if (v.is_number_integer()) {
        const auto i = v.get<std::int64_t>();
        if (i < low || i > high)
            return std::nullopt;
        return static_cast<std::int32_t>(i);
    }
    return std::nullopt;
}

std::optional<Arg> convert(const Json& v, Kind kind)
{
    switch (kind) {
    case Kind::Text:
        if (auto bytes = JsonToBytes(v))
            return Arg(std::move(*bytes));
        return std::nullopt;
    case Kind::Int16:
        if (auto n = integerIn(v, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()))
            return Arg(*n);
        return std::nullopt;
    case Kind::Int32:
        if (auto n = integerIn(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()))
            return Arg(*n);
        return std::nullopt;
    case Kind::Bool:
        if (v.is_boolean())
            return Arg(v.get<bool>());
        return std::nullopt;
    }
    return std::nullopt;
}

std::string resultLine(Json result)
{
    Json out = Json::object();
    out["result"] = std::move(result);
    return out.dump();
}

} // namespace

CommandDispatcher::CommandDispatcher(toc::OrbTOCSock& control)
    : m_control(control)
{
}

CommandDispatcher::CommandDispatcher(toc::Account& account)
    : m_control(account.Control())
    , m_account(&account)
{
}

std::optional<std::string> CommandDispatcher::Execute(std::string_view line, std::function<void(const std::string&)> late)
{
    // Commands are flat arrays; anything nested is refused while parsing, so a hostile line of
    // brackets never builds a deep tree.
    bool nested = false;
    const Json::parser_callback_t flat = [&nested](int depth, Json::parse_event_t event, Json&) {
        if (depth >= 1 && (event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start)) {
            nested = true;
            return false;
        }
        return true;
    };
    Json parsed = Json::parse(line.begin(), line.end(), flat, false);
    if (parsed.is_discarded())
        return errorLine("not valid JSON; expected an array [\"MethodName\", arguments...]");
    if (!parsed.is_array() || parsed.empty() || !parsed[0].is_string())
        return errorLine("expected an array [\"MethodName\", arguments...]");
    if (nested)
        return errorLine("arguments are strings, integers or booleans, not arrays or objects");

    const auto& name = parsed[0].get_ref<const std::string&>();
    const auto& table = methods();
    const auto method = std::find_if(table.begin(), table.end(), [&](const Method& m) { return name == m.name; });
    if (method == table.end())
        return errorLine("unknown method: " + name);

    const std::size_t given = parsed.size() - 1;
    if (given > method->params.size())
        return errorLine(name + " takes at most " + std::to_string(method->params.size()) + " arguments, got "
                         + std::to_string(given));

    Args args;
    args.reserve(method->params.size());
    for (std::size_t i = 0; i < method->params.size(); ++i) {
        const Param& p = method->params[i];
        const std::string where = name + ": argument " + std::to_string(i + 1) + " (" + p.name + ")";
        if (i >= given || parsed[i + 1].is_null()) {
            if (!p.optional)
                return errorLine(where + " is missing");
            args.emplace_back(std::monostate {});
            continue;
        }
        auto arg = convert(parsed[i + 1], p.kind);
        if (!arg) {
            const bool wideText = p.kind == Kind::Text && parsed[i + 1].is_string();
            return errorLine(where + (wideText ? " has a character above U+00FF; text is one byte per character"
                                               : std::string(" must be ") + kindName(p.kind)));
        }
        args.push_back(std::move(*arg));
    }

    // A command that never goes is reported to whoever wrote it, like its result.
    struct Asker {
        toc::Account* account;
        ~Asker()
        {
            if (account)
                account->SetAsker({});
        }
    } asker { late ? m_account : nullptr };
    if (asker.account) {
        asker.account->SetAsker([late](const std::string& what, const std::string& why) {
            Json error = Json::object();
            error["error"] = BytesToJson(why + ": " + what);
            late(error.dump());
        });
    }
    std::optional<Json> result;
    try {
        if (!m_account || (method->answers && m_account->Queued() == 0)) {
            result = method->call(m_control, args);
        } else if (method->keep) {
            method->keep(*m_account, args, std::string(line));
        } else {
            // In its turn, behind what was written before it.
            m_account->Submit(std::string(line), [this, name, parsed, call = method->call, args, reply = std::move(late)](toc::OrbTOCSock& c) {
                auto value = call(c, args);
                if (afterCall)
                    afterCall(name, parsed);
                if (value && reply)
                    reply(resultLine(std::move(*value)));
            });
            return std::nullopt;
        }
    } catch (const std::exception& e) {
        // The command methods let errors reach their caller (SetIdleTime overflowing, for one);
        // nothing was sent then.
        std::string what = e.what();
        if (what.rfind(name, 0) != 0)
            what = name + ": " + what;
        return errorLine(what);
    }
    if (afterCall)
        afterCall(name, parsed);
    if (!result)
        return std::nullopt;
    return resultLine(std::move(*result));
}

} // namespace tocli
