// One connection's bytes in and bytes out, fed whole, byte by byte and cut in two at every offset:
// every way gives the same bytes out and the same open or closed end.

#include "tests/tocd/harness.h"
#include "tocd/arguments.h"

using namespace tocd_test;
using namespace std::string_literals;
using testing_support::Frame;

namespace {

const std::string signon = "*\x01\x00\x00\x00\x04\x00\x00\x00\x01"s;
const std::string clientSignon = Frame(1, "\x00\x00\x00\x01\x00\x01\x00\x05"s + "alice");
const std::string error913 = "*\x02\x00\x01\x00\x1f" "ERROR:913:internal server error"s;
const std::string error980 = "*\x02\x00\x01\x00\x09" "ERROR:980"s;
const std::string welcome = signon + "*\x02\x00\x01\x00\x0e" "SIGN_ON:TOC2.0*\x02\x00\x02\x00\x0a" "NICK:alice"
    "*\x02\x00\x03\x00\x0e" "CONFIG2:done:\n"s;

std::string login(const std::string& args)
{
    return "FLAPON\n\n" + clientSignon + Frame(2, "toc2_login " + args + '\0', 1);
}
std::string signedOn() { return login("h 1 alice 0x270c005d311b"); }

struct Row {
    const char* name;
    std::string in, out; // a status line alone stands for the whole HTTP answer
    bool closed;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Connection : public testing::TestWithParam<Row> { };

TEST_P(Connection, Row)
{
    const Row& row = GetParam();
    for (std::size_t cut = 0; cut <= row.in.size(); ++cut) {
        tocd::Service service({ "", [] { return std::int64_t { 1700000000 }; } });
        Client owner(service);
        owner.login("alice");
        owner.command(R"(toc_set_info "<b>hi</b> \$1")");
        owner.session.disconnect();
        Client client(service);
        for (std::size_t at = 0; cut == 1 && at < row.in.size(); ++at)
            client.send(row.in.substr(at, 1));
        if (cut != 1) {
            client.send(row.in.substr(0, cut));
            client.send(row.in.substr(cut));
        }
        const std::string got = client.raw();
        const bool statusOnly = row.out.find("\r\n") == row.out.size() - 2;
        EXPECT_EQ(statusOnly ? got.substr(0, row.out.size()) : got, row.out) << "cut " << cut;
        EXPECT_EQ(client.sink.closed, row.closed) << "cut " << cut;
        EXPECT_FALSE(client.sink.wroteAfterClose);
        service.keepAlive(); // to signed-on clients only
        EXPECT_EQ(client.raw().substr(0, 2), !row.closed && row.out.find("SIGN_ON:") != row.out.npos ? "*\x05" : "");
    }
}

const Row rows[] = {
    { "SignOnWithCrLfGreeting", "FLAPON\r\n\r\n" + clientSignon + Frame(2, "toc2_login h 1 alice 0x270c005d311b\0"s, 1),
        welcome, false },
    { "WrongPassword", login("h 1 alice 0x231b0c4133"), signon + error980, true },
    { "NoPassword", login("h 5190 alice"), signon + error913, true },
    { "OddDigits", login("h 5190 alice 0x270c005d311"), signon + error913, true },
    { "NotHex", login("h 5190 alice 0x27zz005d311b"), signon + error913, true },
    { "NotHexLowDigit", login("h 5190 alice 0x270c005d311g"), signon + error913, true },
    { "NoHexPrefix", login("h 5190 alice 270c005d311b"), signon + error913, true },
    { "OtherCommand", "FLAPON\n\n" + clientSignon + Frame(2, "toc_signoff h 1 alice 0x27\0"s, 1), signon + error913, true },
    { "OpenQuote", login("h 5190 \"alice 0x270c005d311b"), signon + error913, true },
    { "BadName", login("h 1 al:ice 0x270c005d311b"), signon + error980, true },
    { "EmptyName", login("h 1 \"\" 0x270c005d311b"), signon + error980, true },
    { "EmptyPassword", login("h 1 alice 0x"), signon + error980, true },
    { "LongName", login("h 1 abcdefghijklmnopqrstuvwxyz0123456 0x270c005d311b"), signon + error980, true },
    { "LongestName", login("h 1 \"abcdefghijklmnop qrstuvwxyz012345\" 0x270c005d311b"),
        signon + Frame(2, "SIGN_ON:TOC2.0", 1) + Frame(2, "NICK:abcdefghijklmnop qrstuvwxyz012345", 2)
            + Frame(2, "CONFIG2:done:\n", 3),
        false },
    { "LoginWithoutSignonFrame", "FLAPON\n\n" + Frame(2, "toc2_login h 1 alice 0x270c005d311b\0"s, 1), signon, true },
    { "KeepAliveBeforeSignon", "FLAPON\n\n" + Frame(5, "") + clientSignon, signon, false },
    { "GreetingSpace", "FLAPON \n\n", "", true },
    // After sign-on only data, keep-alive and sign-off frames; a sign-off frame is a goodbye.
    { "KeepAliveAfterSignon", signedOn() + Frame(5, ""), welcome, false },
    { "SignoffFrame", signedOn() + Frame(4, ""), welcome, true },
    { "SignonFrameAgain", signedOn() + Frame(1, ""), welcome, true },
    { "UnknownFrameType", signedOn() + Frame(7, ""), welcome, true },
    { "UnparsableCommand", signedOn() + Frame(2, "toc_send_im \"bob\0"s), welcome + "*\x02\x00\x04\x00\x09" "ERROR:911"s, false },
    { "LongestFrameTaken", signedOn() + Frame(2, "toc_set_idle \"" + std::string(2031, '0') + "1\"\0"s), welcome, false },
    // Refused from its header: what came before it still counts.
    { "OversizedFrameRefused", signedOn() + Frame(2, "toc_send_im alice hi\0"s) + "*\x02\x00\x0a\x08\x01"s,
        welcome + "*\x02\x00\x04\x00\x24" "IM_IN_ENC2:alice:F:F:T: O :F:L:en:hi"s, true },
    // Not a FLAP client: a browser asking for a profile page.
    { "ProfilePage", "GET /info?user=A%6cice+ HTTP/1.1\r\nHost: x\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\nConnection: close\r\n\r\n<b>hi</b> $1", true },
    { "ProfileHead", "HEAD /info?user=alice HTTP/1.1\n\n",
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\nConnection: close\r\n\r\n", true },
    { "NoSuchUser", "GET /info?a=b&user=nobody HTTP/1.0\n\n", "HTTP/1.1 404 Not Found\r\n", true },
    { "Post", "POST /info?user=alice HTTP/1.0\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n", true },
    { "NotHttp", "FLAX\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", true },
    { "BadPercent", "GET /info?user=%zz HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", true },
    { "ShortPercent", "GET /info?user=alice%4 HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", true },
    { "EndlessHead", "GET /info?user=a HTTP/1.1\r\n" + std::string(8200, 'y'), "HTTP/1.1 431 Request Header Fields Too Large\r\n",
        true },
};

INSTANTIATE_TEST_SUITE_P(Rows, Connection, testing::ValuesIn(rows), [](const auto& r) { return std::string(r.param.name); });

// Words as Tcl reads them; nothing (the command is refused) for a malformed one.
TEST(Arguments, TclWords)
{
    const std::pair<std::string, std::vector<std::string>> lines[] = {
        { "a  b\tc\\ d e\\\"f\\\\ end\\", { "a", "b", "c d", "e\"f\\", "end\\" } },
        { "x \"a b \\\"q\\\" \\$5 {\" \"\" {}", { "x", "a b \"q\" $5 {", "", "" } },
        { "x {>>>Automated reply: gone} {a {b {c}} \\} \\\" $}", { "x", ">>>Automated reply: gone", "a {b {c}} \\} \\\" $" } },
        { "x a\"b c{d}", { "x", "a\"b", "c{d}" } },
        { "x \"a\0b\"\0\0"s, { "x", "a\0b"s } },
        { "  ", {} },
    };
    for (const auto& [line, words] : lines)
        EXPECT_EQ(tocd::ParseArguments(line), words) << line;
    for (const char* malformed : { "x \"open", "x \"escaped close\\\"", "x {open {nested}", "x {open \\}", "x \"a\"b", "x {a}b" })
        EXPECT_EQ(tocd::ParseArguments(malformed), std::nullopt) << malformed;
}

} // namespace
