// The control between a fake server and toc-cli's JSON host and command reader. Each row is what
// arrives and everything that comes out, in order: events as Name(args), command replies as toc-cli
// prints them, frames sent as "> payload" (data frames, without their NUL) or ">type bytes", and
// "connect host port"; " | " separates them like a line break. Server bytes are fed whole, byte by
// byte and cut in two at every offset.
//
// Steps: "[...]" a toc-cli command ("$..." any other line); "!connect", "!fail", "!close" from the
// socket; "!packets" logs IncomingPacket too; "*..." raw server bytes; anything else one server data frame. "@Event step"
// runs the step inside the host after each such event, "^Event step" only the first time.

#include <gtest/gtest.h>

#include <map>

#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"
#include "tools/commanddispatcher.h"
#include "tools/jsoneventwriter.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::Frame;

namespace {

struct Row {
    const char* name;
    std::vector<std::string> in;
    std::string out;
    bool split = true;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

bool fromServer(const std::string& s) { return s.empty() || std::string_view("[$!@^").find(s[0]) == s.npos; }

struct Socket : testing_support::FakeSocket {
    void Connect(const std::string& host, std::int32_t port) override
    {
        FakeSocket::Connect(host, port);
        note("connect " + host + " " + std::to_string(port));
    }
    std::function<void(const std::string&)> note = [](const std::string&) {};
};

class Host : public tocli::JsonEventWriter {
public:
    Host()
        : JsonEventWriter([this](const std::string& line) { event(line); })
    {
        control.Login("Joe", "pass", "toc.test", 5190);
        sock.CompleteConnect();
        sock.ClearSent();
        sock.note = [this](const std::string& line) { add(line); };
    }

    std::string run(const Row& row, std::size_t cut)
    {
        m_cut = cut;
        for (const std::string& s : row.in)
            step(s);
        receive();
        add("");
        return m_log;
    }

private:
    void step(const std::string& s)
    {
        if (fromServer(s))
            return void(m_pending += s.starts_with('*') ? s : Data(s));
        receive();
        if (s[0] == '[' || s[0] == '$') {
            if (auto reply = dispatcher.Execute(s.substr(s[0] == '$')))
                add(*reply);
        } else if (s[0] == '@' || s[0] == '^') {
            m_on.emplace(s.substr(1, s.find(' ') - 1), std::pair { s[0] == '^', s.substr(s.find(' ') + 1) });
        } else if (s == "!connect") {
            sock.CompleteConnect();
        } else if (s == "!fail") {
            sock.Fail("Connection reset");
        } else if (s == "!close") {
            sock.PeerClose();
        } else if (s == "!packets") {
            m_packets = true;
        }
    }

    void receive()
    {
        const std::string bytes = std::exchange(m_pending, {});
        for (std::size_t at = 0, n = 0; at < bytes.size(); at += n) {
            n = m_cut == 1 ? 1 : m_cut > 1 && at == 0 ? m_cut - 1 : bytes.size() - at;
            sock.Receive(bytes.substr(at, n));
        }
    }

    void event(const std::string& line)
    {
        const auto j = tocli::Json::parse(line);
        const std::string name = j["event"], args = j["args"].dump();
        if (name != "IncomingPacket" || m_packets)
            add(name + "(" + args.substr(1, args.size() - 2) + ")");
        std::vector<std::string> steps;
        for (auto [it, end] = m_on.equal_range(name); it != end;) {
            steps.push_back(it->second.second);
            it = it->second.first ? m_on.erase(it) : std::next(it);
        }
        const std::size_t cut = std::exchange(m_cut, 0);
        for (const std::string& s : steps) {
            step(s);
            receive();
        }
        m_cut = cut;
    }

    // Logs the frames sent so far ("seq n" when one is out of turn), then the line.
    void add(const std::string& line)
    {
        for (const std::string& bytes : std::exchange(sock.sent, {})) {
            if (bytes == "FLAPON\n\n")
                m_log += "> FLAPON\n";
            for (const auto& f : testing_support::ParseFrames(bytes)) {
                if (f.sequence != ++m_seq % 65536)
                    m_log += "seq " + std::to_string(m_seq = f.sequence) + "\n";
                m_log += f.type == 2 && f.payload.ends_with('\0')
                    ? "> " + f.payload.substr(0, f.payload.size() - 1) + "\n"
                    : ">" + std::to_string(f.type) + " " + tocli::BytesToJson(f.payload).dump() + "\n";
            }
        }
        m_log += line.empty() ? "" : line + "\n";
    }

    Socket& sock = *new Socket;
    toc::OrbTOCSock control { std::unique_ptr<toc::Socket>(&sock), this };
    tocli::CommandDispatcher dispatcher { control };
    std::multimap<std::string, std::pair<bool, std::string>> m_on;
    bool m_packets = false;
    std::string m_log, m_pending;
    std::size_t m_cut = 0;
    int m_seq = -1;
};

class Control : public testing::TestWithParam<Row> { };

TEST_P(Control, Row)
{
    const Row& row = GetParam();
    std::string expected = row.out + "\n";
    for (std::size_t at; (at = expected.find(" | ")) != std::string::npos;)
        expected.replace(at, 3, "\n");
    const std::string whole = Host().run(row, 0);
    EXPECT_EQ(whole, expected);
    std::size_t longest = 0;
    for (const std::string& s : row.in)
        longest += fromServer(s) ? s.size() + 6 : 0;
    for (std::size_t cut = 1; row.split && cut <= longest; cut += 1 + longest / 200)
        ASSERT_EQ(Host().run(row, cut), whole) << "cut " << cut;
}

const std::string big(65534, 'b');

// Seventeen pieces of about 64 KB each: the seventeenth would take the held text over 1 MiB.
std::vector<std::string> configFlood()
{
    std::vector<std::string> in;
    for (int i = 1; i <= 17; ++i)
        in.push_back("CONFIG2:d:" + std::to_string(i) + "\npref:" + std::string(64000, 'a') + "\n");
    in.push_back("CONFIG2:pref:\ndone:\n");
    return in;
}

// Twelve rooms joined, one more than the table holds, then the steps given.
std::vector<std::string> twelveRooms(std::vector<std::string> then)
{
    for (int id = 12; id >= 1; --id)
        then.insert(then.begin(), "CHAT_JOIN:" + std::to_string(id) + ":R" + std::to_string(id));
    return then;
}
std::string joined(int rooms)
{
    std::string log;
    for (int id = 1; id <= rooms; ++id)
        log += "JoinedChat(\"R" + std::to_string(id) + "\"," + std::to_string(id) + ")\n";
    return log;
}

const Row rows[] = {
    // What the server says, and the events it raises.
    { "InstantMessages",
        { "IM_IN_ENC2:joe:F:x:x: O:x:x:en:hello:there", "IM_IN_ENC2:Joe B:T:x:x: O:x:x:en:brb", "IM_IN_ENC2:joe:f:x:x:AO:x:x:en:" },
        R"(InstantMessage("joe","hello:there",false," O") | InstantMessage("Joe B","brb",true," O")
InstantMessage("joe","",true,"AO"))" },
    { "BuddyUpdates", { "UPDATE_BUDDY2:joe:T:10:1000:5: O:x", "UPDATE_BUDDY2:joe:F:-32768:2147483647:-2147483648:U" },
        R"(BuddyUpdate("joe",true,10,1000,5," O") | BuddyUpdate("joe",false,-32768,2147483647,-2147483648,"U"))" },
    { "CapsBartNickProfileKeepColons",
        { "BUDDY_CAPS2:joe:a,b:c", "BART2:joe:0 2 abc:d", "NICK:a:b", "NICK:", "GOTO_URL:joe:http://x.test:80/i?a:b" },
        R"(BuddyCapabilities("joe","a,b:c") | BuddyBart("joe","0 2 abc:d") | ScreennameFormat("a:b") | ScreennameFormat("")
UserProfile("http://x.test:80/i?a:b"))" },
    { "ChatRoomTable",
        { "CHAT_JOIN:7:Room: A", "CHAT_JOIN:0:Lobby", "CHAT_JOIN:9", "CHAT_LEFT:7", "CHAT_LEFT:-3", R"(["LastChatID"])",
            R"(["GetChatName",7])", R"(["GetChatName",0])", R"(["GetChatName",9])" },
        R"(JoinedChat("Room: A",7) | JoinedChat("Lobby",0) | LeftChat(7) | LeftChat(-3) | {"result":9}
{"result":"[No Chat Name Found for ID]"} | {"result":"Lobby"} | {"result":""})" },
    { "TwelfthRoomFindsNoSlotUntilOneIsLeft",
        twelveRooms({ R"(["GetChatName",12])", "CHAT_LEFT:4", "CHAT_JOIN:13:R13", R"(["GetChatName",13])",
            R"(["SendChat","R11","x"])", R"(["SendChat","R4","x"])" }),
        joined(12) + R"({"result":"[No Chat Name Found for ID]"} | LeftChat(4) | JoinedChat("R13",13) | {"result":"R13"}
> toc_chat_send "11" "x")" },
    { "ChatMembersArriveAllLeaveOne",
        { "CHAT_UPDATE_BUDDY:7:T:ann:bob:", "CHAT_UPDATE_BUDDY:7:F:ann:bob", "CHAT_IN_ENC:7:ann:F:x:en:hi: there",
            "CHAT_INVITE:Room:12:ann:come in: now" },
        R"(ChatUserUpdate("ann",true,7) | ChatUserUpdate("bob",true,7) | ChatUserUpdate("",true,7)
ChatUserUpdate("ann",false,7) | ChatMessage(7,"ann","hi: there") | ChatInvite("Room",12,"ann","come in: now"))" },
    { "ListEdits",
        { "INSERTED2:b:Joe:joe:Co:Workers", "INSERTED2:p:ann", "INSERTED2:d:bob", "INSERTED2:g:F: old",
            "DELETED2:b:joe:Buddies", "DELETED2:p:ann:x", "DELETED2:d:bob", "DELETED2:g:F: old", "INSERTED2:x:a:b:c:d",
            "DELETED2:B:a:b", "UPDATED2:b:joe:Buddies" },
        R"(BuddyAdded("Co:Workers","joe","Joe") | PrivateBuddyAdded("ann") | BuddyBlocked("bob") | GroupAdded("F: old")
BuddyRemoved("Buddies","joe") | PrivateBuddyRemoved("ann") | BuddyUnblocked("bob") | GroupRemoved("F: old"))" },
    { "WarningsAdminRendezvousTyping",
        { "EVILED:015:ann", "EVILED:-0:", "ADMIN_NICK_STATUS:0", "ADMIN_PASSWD_STATUS", "CLIENT_EVENT2:joe:2",
            "RVOUS_PROPOSE:joe:0946-x:c00k:1:10.0.0.1:10.0.0.2:10.0.0.3:5190:10:abc" },
        R"(Warned("15","ann") | Warned("0","") | ScreenNameFormatted() | PasswordChanged() | TypingStatus("joe",2)
RendevousRequest("joe","0946-x","c00k","10.0.0.1","10.0.0.2","10.0.0.3",5190))" },
    { "Errors",
        { "ERROR:901:a:b", "ERROR:902:joe", "ERROR:903", "ERROR:911:x", "ERROR:980", "ERROR:983", "ERROR:951:Room:24",
            "ERROR:951:Room:-1", "ERROR:951:Room:48", "ERROR:951:Room:74", "ERROR:951:Room:99",
            "ERROR:989:7", "ERROR:989:17", "ERROR:989:3", "ERROR:999", "ERROR:0901:joe", "ERROR:-5:x" },
        R"(Error(901,"a:b is not available") | Error(902,"Warning of joe is not currently available")
Error(903,"A message has been dropped, you are exceeding the server speed limit")
Error(911,"Error validating input") | Error(980,"Invalid account or password")
Error(983,"You are attempting to sign on again too soon") | Error(951,"Could not join chat 'Room': Chat Full")
Error(951,"Could not join chat 'Room': Possible Reset") | Error(951,"Could not join chat 'Room': Rated")
Error(951,"Could not join chat 'Room': Ejected") | Error(951,"Could not join chat 'Room': Unknown error")
Error(989,"The screenname or password you entered is not valid") | Error(989,"Sign on Blocked")
Error(3,"Unknown error code 989, sub error: 3") | Error(999,"Error code: 999") | Error(901,"Error code: 0901")
Error(-5,"Error code: -5"))" },
    // Missing fields, non-numbers, numbers out of range: dropped whole, the next message still read.
    { "MalformedMessagesRaiseNothing",
        { "NICK", "CONFIG2", "ERROR", "ERROR:abc:x", "ERROR:+901:joe", "ERROR:901", "ERROR:902", "ERROR:951",
            "ERROR:989", "ERROR:989:40000", "ERROR:40000", "UPDATE_BUDDY2:joe:T:10:1000:5",
            "UPDATE_BUDDY2:joe:T:32768:1:1:O", "UPDATE_BUDDY2:joe:T:10:2147483648:1:O", "UPDATE_BUDDY2:joe:T:10:1:x:O",
            "BUDDY_CAPS2:joe", "BART2:joe", "CHAT_JOIN:", "CHAT_JOIN:x:Room", "CHAT_JOIN:7 :Room",
            "CHAT_JOIN:99999999999:Room", "CHAT_UPDATE_BUDDY:7:T", "CHAT_UPDATE_BUDDY:7:F", "CHAT_UPDATE_BUDDY:x:T:a",
            "CHAT_IN_ENC:7:ann:F:x:en", "CHAT_LEFT:", "CHAT_LEFT:0x7", "IM_IN_ENC2:joe:F:x:x: O:x:x:en",
            "INSERTED2:b:Joe:joe", "INSERTED2:p", "DELETED2:b:joe", "DELETED2:d", "CHAT_INVITE:Room:12:ann",
            "CHAT_INVITE:Room:1e3:ann:hi", "GOTO_URL:joe", "EVILED:40000:ann", "EVILED:15",
            "RVOUS_PROPOSE:joe:u:c:1:a:b:c:port", "CLIENT_EVENT2:joe", "CLIENT_EVENT2:joe:+1",
            "IM_IN_ENC2:joe:F:x:x: O:x:x:en:still here" },
        R"(InstantMessage("joe","still here",false," O"))" },

    // Frames by type: keep-alives are answered, error and sign-off frames only reported.
    { "FrameTypes",
        { Frame(5, "xyz", 9), Frame(3, "ERROR:901:joe") + Frame(4, ""), Frame(9, "NICK:x"), Frame(0, "") + Frame(255, ""),
            Data("HELLO:x") + Data("nick:Joe") + Data("") + Data("SIGN_ON:TOC2.0") + Data("NICK:Joe") },
        R"(>5 "" | Error(0,"Unknown Channel Detected: \t") | Error(0,"Unknown Channel Detected: \u0000")
Error(0,"Unknown Channel Detected: ÿ") | ScreennameFormat("Joe"))" },
    // The length field alone cuts the stream: no "*" needed, colons in the header change nothing,
    // an unended frame raises nothing.
    { "LengthAloneCutsFrames",
        { Frame(3, "") + "?\x02\x3a\x3a\x00\x3aIM_IN_ENC2:joe:F:x:x: O:x:x:en:twenty-seven bytes of text!"s,
            "*\x02\x00\x00\x01\x2c"s + std::string(300, ':'), "*\x03\x00\x01\x00\x05" "abcd"s },
        R"(InstantMessage("joe","twenty-seven bytes of text!",false," O"))" },

    // Signing on: the server's SIGNON frame is answered, then the configuration.
    { "LoginNamesAuthorizerAndTrimsHosts",
        { R"(["Login","Joe Smith","secret pw","  toc2.test  ",443," auth.test "])", "!connect", Frame(1, "\0\0\0\1"s),
            R"(["Login","Joe","pw","\thost ",1,"   "])", "!connect", Frame(1, "\0\0\0\1"s) },
        R"(connect toc2.test 443 | > FLAPON | >1 "\u0000\u0000\u0000\u0001\u0000\u0001\u0000\bjoesmith"
> toc2_login auth.test 443 joesmith 0x270c005d311b43241e English  "OrbTOCSock 2.0" 160 US "" "" 3 0 30303 -kentucky -utf8 58203917
connect 	host 1 | > FLAPON | >1 "\u0000\u0000\u0000\u0001\u0000\u0001\u0000\u0003joe"
> toc2_login login.oscar.aol.com 1 joe 0x241e English  "OrbTOCSock 2.0" 160 US "" "" 3 0 30303 -kentucky -utf8 58203917)" },
    { "ConfigurationEveryKindOfLine",
        { "CONFIG2:g:Buddies\nb:joe:Joe:::::x\nd:bad\np:ann\npref:first\nm:3\nm:12\nm:x\npref:second\nx:abc\n\ng:Work\n",
            "CONFIG2:b:b\xf6" "b\ndone:\nb:after\n" },
        R"(LoggedIn("joe",["[group]Buddies","joe:Joe:x","[group]Work","böb"],["bad"],["ann"],["x:abc",""],"second",1)
> toc_init_done)" },
    // The end marker counts only in one message, at the start of a line, in lower case.
    { "ConfigurationMarkerRules",
        { "CONFIG2:b:joe\nDONE:\n", "CONFIG2:do", "CONFIG2:ne:\n", "CONFIG2:done:\n", "CONFIG2:b:xdone:\nb:z",
            "CONFIG2:b:ydone:\ndone:\n", "CONFIG2:" },
        R"(LoggedIn("joe",["joe"],[],[],["DONE:"],"",0) | > toc_init_done | > toc_init_done
LoggedIn("joe",["ydone:"],[],[],[],"",0) | > toc_init_done)" },
    // A mebibyte of unended configuration is dropped before more is stored.
    { "UnendedConfigurationIsBounded",
        configFlood(), R"(LoggedIn("joe",[],["17"],[],[],"",0)
> toc_init_done)", false },

    // Commands: the bytes each sends.
    { "ChatCommands",
        { "CHAT_JOIN:0:Lobby", "CHAT_JOIN:101:Room1", R"(["JoinChat","  Room 1  ",4])", R"(["JoinChat","a\"b$",-1])",
            R"(["LeaveChat","Lobby"])", R"(["LeaveChat","Nowhere",9])", R"(["LeaveChat","room1"])",
            R"~(["SendChat","Room1","costs $5 (\"cheap\")"])~", R"(["SendChat","x","hi",33])",
            R"(["InviteUsers","Room1","come [in]","Ann Bee, Cy"])", R"(["InviteUsers","x","y","z"])",
            R"(["AcceptChatInvite",-5])", "CHAT_LEFT:0", R"(["SendChat","","hi"])", R"(["SendChat","Lobby","hi"])" },
        R"~(JoinedChat("Lobby",0) | JoinedChat("Room1",101) | > toc_chat_join "4" "Room 1" | > toc_chat_join "-1" "a"b$"
> toc_chat_leave "0" | > toc_chat_leave "9" | > toc_chat_send "101" "costs \$5 \(\"cheap\"\)"
> toc_chat_send "33" "hi" | > toc_chat_invite "101" "come \[in\]" "annbee,cy" | > toc_chat_accept "-5"
LeftChat(0))~" },
    { "UserCommands",
        { R"(["GetProfile"," Joe Smith "])", R"(["SendIM","Joe Smith","say \"hi\" for $5 \u00e9"])",
            R"(["SendIM","joe","away",true])", R"(["SendIM","joe","x",false])", R"(["GetStatus","JOE B"])",
            R"(["WarnUser","Joe B",false])", R"(["WarnUser","joe",true])", R"(["FormatUserName","Joe Smith$"])",
            R"(["ChangePassword","o(ld","n]e\\w"])", R"(["SetAwayMessage",""])",
            R"(["SetProfile","<a href=\"x\">{[hi]}</a>"])", R"(["SetIdleTime",10])", R"(["SetIdleTime",-35791394])",
            R"(["SetIdleTime",35791395])", R"(["SetCapability","0946,$x"])" },
        R"(> toc_get_info "joesmith" | > toc_send_im "joesmith" "say \"hi\" for \$5 )" "\xe9" R"("
> toc_send_im "joe" "away" auto
> toc_send_im "joe" "x"
> toc_get_status "joeb"
> toc_evil "joeb" "norm"
> toc_evil "joe" "anon"
> toc_format_nickname "Joe Smith$"
> toc_change_passwd "o\(ld" "n\]e\\w"
> toc_set_away ""
> toc_set_info "<a href=\"x\">\{\[hi\]\}</a>"
> toc_set_idle "600"
> toc_set_idle "-2147483640"
{"error":"SetIdleTime: 35791395 minutes do not fit in seconds"}
> toc_set_caps "0946,$x")" },
    { "ListCommands",
        { R"(["AddBuddy","My Group","Joe $"])", R"(["RemoveBuddy","Gr{p}","Joe $"])", R"(["AddGroup","a\\b"])",
            R"(["RemoveGroup","$x"])", R"(["BlockUser","Ann B"])", R"(["UnblockUser","Ann B"])",
            R"(["AddPrivateUser","Ann B"])", R"(["RemovePrivateUser","Ann B"])", R"(["SetPrivacy",4])" },
        R"(> toc2_new_buddies "g:My Group
b:Joe \$
"
> toc2_remove_buddy "Joe $" "Gr\{p\}"
> toc2_new_group "a\\b"
> toc2_del_group "\$x"
> toc2_add_deny "annb"
> toc2_remove_deny "annb"
> toc2_add_permit "annb"
> toc2_remove_permit "annb"
> toc2_set_pdmode 4)" },
    { "ValueMethods",
        { "CHAT_JOIN:12:Caf\xE9", R"(["LastChatID"])", R"(["GetChatName",12])", R"(["RemoveHtml","<b>x</b> <<>> 1 > 0 <i>ok</i> <z"])",
            R"(["SetLastChatID",-3])", R"(["LastChatID"])" },
        R"(JoinedChat("Café",12) | {"result":12} | {"result":"Café"} | {"result":"x > 1 > 0 ok <z"} | {"result":-3})" },
    // What a frame header cannot carry is not sent and uses no sequence number.
    { "RawFrames",
        { R"(["SendPacket",2,""])", R"(["SendPacket",5,"a\u0000\u00ff"])", R"(["SendPacket",-1,"a"])",
            R"(["SendPacket",256,"a"])", R"(["SendPacket",255,"z"])", "[\"SendPacket\",2,\"" + big + "b\"]",
            "[\"SendPacket\",2,\"" + big + "\"]" },
        R"(> 
>5 "a\u0000ÿ" | >255 "z" | > )" + big },
    { "BadCommandLines",
        { "$SendIM bob hi", R"(${"SendIM": 1})", R"(["Sendim"])", R"(["SendIM","bob"])", R"(["SendIM",null,"hi"])",
            R"(["SendIM","bob","hi",false,1])", R"(["SendIM","bob",5])", R"(["SendIM","bob","hi","true"])",
            R"(["SendIM","bob","\u20ac"])", R"(["SendIM",["bob"],"hi"])", R"(["JoinChat","r",32768])",
            R"(["AcceptChatInvite",2147483648])", std::string(10000, '[') },
        R"({"error":"not valid JSON; expected an array [\"MethodName\", arguments...]"}
{"error":"expected an array [\"MethodName\", arguments...]"} | {"error":"unknown method: Sendim"}
{"error":"SendIM: argument 2 (strMessage) is missing"} | {"error":"SendIM: argument 1 (strUserName) is missing"}
{"error":"SendIM takes at most 3 arguments, got 4"}
{"error":"SendIM: argument 2 (strMessage) must be a string"}
{"error":"SendIM: argument 3 (AutoResponse) must be true or false"}
{"error":"SendIM: argument 2 (strMessage) has a character above U+00FF; text is one byte per character"}
{"error":"arguments are strings, integers or booleans, not arrays or objects"}
{"error":"JoinChat: argument 2 (intExchange) must be an integer from -32768 to 32767"}
{"error":"AcceptChatInvite: argument 1 (lngChatID) must be an integer from -2147483648 to 2147483647"}
{"error":"not valid JSON; expected an array [\"MethodName\", arguments...]"})" },

    // The connection: nothing passes until it is up; signing off closes, reports and forgets.
    { "NothingPassesUntilConnected",
        { R"(["LogOff"])", Frame(4, ""), R"(["SendPacket",5,""])", R"(["Login","Joe","pw","toc.test",5190])", Frame(4, ""),
            R"(["SendPacket",5,""])", "!connect", R"(["SendPacket",5,""])" },
        R"(LoggedOut("joe") | connect toc.test 5190 | > FLAPON | >5 "")" },
    { "NewConnectionStartsCleanButKeepsLastChatID",
        { "CHAT_JOIN:7:Lobby", "CONFIG2:g:Friends\nb:eve\n", "*\x03\x00\x00\x00\x05" "ab"s,
            R"(["Login","Joe","pw","toc.test",5190])", "!connect", "CONFIG2:done:\n", R"(["GetChatName",7])",
            R"(["LastChatID"])" },
        R"(JoinedChat("Lobby",7) | connect toc.test 5190 | > FLAPON | LoggedIn("joe",[],[],[],[],"",0) | > toc_init_done
{"result":"[No Chat Name Found for ID]"} | {"result":7})" },
    { "LogOffClosesReportsThenForgets",
        { "CHAT_JOIN:7:Lobby", R"(@LoggedOut ["GetChatName",7])", R"(^LoggedOut ["LastChatID"])",
            R"(^LoggedOut ["SendPacket",5,""])", R"(["LogOff"])",
            R"(["LastChatID"])", R"(["LogOff"])" },
        R"(JoinedChat("Lobby",7) | LoggedOut("joe") | {"result":"[No Chat Name Found for ID]"} | {"result":7}
{"result":0} | LoggedOut("") | {"result":"[No Chat Name Found for ID]"})" },
    // A socket error and the server closing are one WinsockError each; the settings stay, and a
    // handler may reconnect from it without being undone.
    { "FailureIsReportedOnce",
        { "!fail", R"(["SendPacket",5,""])", R"(["LogOff"])", R"(["Login","Joe","pw","h",1])", "!connect", "!close",
            R"(["SendPacket",5,""])", R"(["Login","Joe","pw","h",1])", "!connect",
            R"(@WinsockError ["Login","Joe","pw","backup.test",5190])", "!fail", "!connect" },
        R"(WinsockError("Connection reset") | LoggedOut("joe") | connect h 1 | > FLAPON
WinsockError("Connection closed by server") | connect h 1 | > FLAPON | WinsockError("Connection reset")
connect backup.test 5190 | > FLAPON)" },
    // Hosts call back into the control from inside events.
    { "HandlerCommandsGoOutBeforeInitDone",
        { R"(@LoggedIn ["SetProfile","idle"])", R"(@JoinedChat ["SendChat","Room","hi"])", "CONFIG2:done:\n",
            "CHAT_JOIN:7:Room" },
        R"(LoggedIn("joe",[],[],[],[],"",0) | > toc_set_info "idle" | > toc_init_done | JoinedChat("Room",7)
> toc_chat_send "7" "hi")" },
    { "HandlerThatAnswersKeepsTheReadGoing",
        { R"(@InstantMessage ["SendIM","joe","ok"])", "IM_IN_ENC2:joe:F:x:x: O:x:x:en:one", "IM_IN_ENC2:joe:F:x:x: O:x:x:en:two" },
        R"(InstantMessage("joe","one",false," O") | > toc_send_im "joe" "ok" | InstantMessage("joe","two",false," O")
> toc_send_im "joe" "ok")" },
    { "HandlerThatSignsOffEndsTheMessageAndTheRead",
        { R"(@ChatUserUpdate ["LogOff"])", R"(@LoggedIn ["LogOff"])", "CHAT_UPDATE_BUDDY:7:T:ann:bob", "NICK:lost",
            R"(["Login","Joe","pw","h",1])", "!connect", "CONFIG2:done:\n", "NICK:lost" },
        R"(ChatUserUpdate("ann",true,7) | LoggedOut("joe") | connect h 1 | > FLAPON | LoggedIn("joe",[],[],[],[],"",0)
LoggedOut("joe"))" },
    { "FrameHandlerThatSignsOffDropsTheRest",
        { R"(^IncomingPacket ["LogOff"])", "NICK:Joe", Frame(5, ""), "*\x04\x00\x09\x00\x04" "ab"s,
            R"(["Login","Ann","pw","h",1])", "!connect", "NICK:Ann" },
        R"(LoggedOut("joe") | connect h 1 | > FLAPON | ScreennameFormat("Ann"))" },
    { "SigningOnAgainInAHandlerKeepsTheNewSession",
        { R"(^LoggedIn ["Login","Ann","pw","h",1])", R"(^LoggedOut ["Login","Bea","pw","h2",2,"auth.test"])",
            "CONFIG2:done:\n", "NICK:lost", R"(["SetLastChatID",3])", R"(["LogOff"])", "!connect", Frame(1, ""),
            R"(["LastChatID"])" },
        R"(LoggedIn("joe",[],[],[],[],"",0) | connect h 1 | LoggedOut("ann") | connect h2 2 | > FLAPON
>1 "\u0000\u0000\u0000\u0001\u0000\u0001\u0000\u0003bea"
> toc2_login auth.test 2 bea 0x241e English  "OrbTOCSock 2.0" 160 US "" "" 3 0 30303 -kentucky -utf8 58203917
{"result":3})" },
    // A nested event loop may bring the next notification inside a handler: its bytes wait for
    // the frames before them; once the handler signed on again, the old bytes are dead.
    { "DataArrivingInsideAHandlerWaits",
        { "!packets", "^IncomingPacket *\x00\x00\x02xy*\x04\x00\x00\x00\x00"s, Frame(3, "no") + "*\x04"s },
        R"(IncomingPacket("*\u0003\u0000\u0000\u0000\u0002no") | IncomingPacket("*\u0004*\u0000\u0000\u0002xy")
IncomingPacket("*\u0004\u0000\u0000\u0000\u0000"))",
        false },
    { "NewSessionInsideAHandlerIsReadAtOnce",
        { "!packets", R"(^IncomingPacket ["Login","Ann","pw","h",1])", "^IncomingPacket !connect",
            "^IncomingPacket *\x04\x00\x00\x00\x00"s, Frame(3, "no") + Frame(3, "no") },
        R"(IncomingPacket("*\u0003\u0000\u0000\u0000\u0002no") | connect h 1 | > FLAPON
IncomingPacket("*\u0004\u0000\u0000\u0000\u0000"))",
        false },
};

INSTANTIATE_TEST_SUITE_P(Rows, Control, testing::ValuesIn(rows), [](const auto& row) { return std::string(row.param.name); });

TEST(Control, SequenceWrapsAfter65535AndGoesOnAcrossConnections)
{
    auto owned = std::make_unique<testing_support::FakeSocket>();
    testing_support::FakeSocket& sock = *owned;
    toc::OrbTOCSock control(std::move(owned));
    control.Login("Joe", "pw", "h", 1);
    sock.CompleteConnect();
    for (int i = 0; i < 65537; ++i)
        control.SendPacket(5, "");
    control.Login("Ann", "pw", "h", 1);
    sock.CompleteConnect();
    control.SendPacket(5, "");
    EXPECT_EQ(sock.sent[65536], "*\x05\xff\xff\x00\x00"s);
    EXPECT_EQ(sock.sent[65537], "*\x05\x00\x00\x00\x00"s);
    EXPECT_EQ(sock.sent.back(), "*\x05\x00\x01\x00\x00"s);
}

} // namespace
