// The account on a fake clock and a fake socket, against a server that meters IMs as tocd does.

#include <gtest/gtest.h>

#include "tests/support/fakesocket.h"
#include "toc/account.h"
#include "toc/ratelimits.h"

using namespace std::string_literals;
using testing_support::Data;
using Ms = std::chrono::milliseconds;

namespace {

struct Session : toc::OrbTOCSockEvents {
    explicit Session(toc::AccountSettings settings = {})
        : account(std::unique_ptr<toc::Socket>(&sock), this, [this] { return Ms(t); }, settings, [] { return 1.0; })
    {
        account.onWakeAt = [this](std::optional<Ms> at) { wake = at ? std::optional(at->count()) : std::nullopt; };
        account.onNotSent = [this](const std::string& what, const std::string&) { log += "not sent " + what + "; "; };
        account.onReconnecting = [this](int n, Ms d, const std::string&) {
            log += "Reconnecting " + std::to_string(n) + " " + std::to_string(d.count()) + "; ";
        };
        account.onRoom = [this] { log += "room; "; };
    }
    void LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
                  const std::vector<std::string>&, const std::vector<std::string>&, const std::string&, std::int16_t) override
    {
        account.LoggedIn();
    }
    void LoggedOut(const std::string&) override { log += "LoggedOut; ", account.LoggedOut(); }
    void Error(std::int16_t code, const std::string&) override { account.Error(code); }
    void WinsockError(const std::string& e) override { log += "WinsockError " + e + "; ", lostAt = t, account.WinsockError(e); }
    void BuddyUpdate(const std::string& name, bool, std::int16_t level, std::int32_t, std::int32_t, const std::string&) override
    {
        account.BuddyUpdate(name, level);
    }
    void UserProfile(const std::string&) override { account.UserProfile(); }
    void IncomingPacket(const std::string&) override { account.IncomingPacket(); }

    void signOn(bool statusAnswered = true)
    {
        sock.CompleteConnect();
        sock.Receive(testing_support::Frame(1, "\0\0\0\1"s));
        answers = statusAnswered; // a server that signs on answers again afterwards
        sock.Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Me") + Data("CONFIG2:done:\n"));
        serve();
        answers = true;
    }
    // What the server makes of what was sent: IMs (and status questions) metered as tocd does,
    // questions answered while it answers.
    void serve()
    {
        const std::string bytes = sock.AllSent();
        sock.ClearSent();
        if (bytes.empty())
            return;
        for (auto& frame : testing_support::ParseFrames(bytes)) {
            std::string p = frame.payload.substr(0, frame.payload.find('\0'));
            if (frame.type != 2)
                continue;
            if (p.starts_with("toc2_login"))
                p = "toc2_login";
            sent.push_back(p);
            if (p.starts_with("toc_send_im") || p.starts_with("toc_get_status")) {
                if (!im) {
                    im.emplace(toc::ParamsOf(toc::RateClass::IM), t);
                    im->SetWarning(warning);
                }
                dropped += im->Record(t) != toc::RateLevel::Verdict::Accepted;
            }
            if (answers && p.starts_with("toc_get_status"))
                sock.Receive(Data("UPDATE_BUDDY2:Me:T:" + std::to_string(warning) + ":0:0: O :"));
            if (answers && p.starts_with("toc_get_info"))
                sock.Receive(Data("GOTO_URL:profile:info?user=me")), lastByte = t;
        }
        serve(); // what the answers set going
    }
    void advance(long long until)
    {
        while (wake && *wake <= until) {
            t = std::max(t, *wake);
            account.Tick();
            serve();
        }
        t = until;
    }
    void ims(int n, const std::string& tag = "m")
    {
        for (int i = 0; i < n; ++i)
            account.Submit(tag, [i, tag](toc::OrbTOCSock& c) { c.SendIM("bob", tag + std::to_string(i)); });
        serve();
    }
    std::string reconnects() const // "attempt ms, " as announced
    {
        std::string out;
        for (std::size_t at = 0; (at = log.find("Reconnecting", at)) != std::string::npos; ++at)
            out += log.substr(at + 13, log.find(';', at) - at - 13) + ", ";
        return out;
    }
    std::size_t count(const std::string& prefix) const
    {
        return std::count_if(sent.begin(), sent.end(), [&](const std::string& p) { return p.starts_with(prefix); });
    }

    testing_support::FakeSocket& sock = *new testing_support::FakeSocket;
    long long t = 1000, lastByte = 0, lostAt = 0;
    std::optional<long long> wake;
    std::string log;
    std::vector<std::string> sent;
    std::optional<toc::RateLevel> im;
    int warning = 0;
    int dropped = 0;
    bool answers = true;
    toc::Account account;
};

const toc::LoginArgs me { "Me", "pw", "toc.test", 5190, {} };

TEST(Account, TheWarningPacesIMsAcrossReconnectsAndAFullQueuePushesBackInsteadOfRefusing)
{
    Session run({ {}, {}, true, 16 });
    run.warning = 10;
    run.account.SignOn(me);
    run.signOn();
    EXPECT_EQ(run.account.Warning(), 10);
    for (int connection = 0; connection < 2; ++connection) {
        SCOPED_TRACE(connection);
        run.ims(40);
        EXPECT_TRUE(run.account.Full());
        run.advance(run.t + 600000);
        EXPECT_EQ(std::tuple(run.count("toc_send_im"), run.dropped, run.log), std::tuple(40u * (connection + 1), 0, "room; "s));
        // Lost, and back on a server that does not answer the status question in time: the
        // warning learnt before still holds.
        run.sock.PeerClose();
        run.account.TryNow();
        run.im.reset();
        run.log.clear();
        run.signOn(false);
    }
    // A 903 anyway: the class waits for the server's "clear" at this warning.
    run.ims(8);
    run.im->MarkLimited();
    run.sock.Receive(Data("ERROR:903:"));
    run.advance(run.t + 600000);
    EXPECT_EQ(run.count("toc_send_im"), 88u);
    EXPECT_EQ(run.dropped, 0);
}

TEST(Account, ASilentServerIsGivenUpQuietPlusAnswerAfterItsLastByteWhateverWaits)
{
    Session run;
    run.account.SignOn(me);
    run.signOn();
    // IMs draw no answer; the probes do, ahead of the queue, so 150 held IMs look like no silence.
    run.ims(150);
    run.advance(run.t + 700000);
    EXPECT_EQ(run.count("toc_send_im"), 150u);
    EXPECT_EQ(run.log, "");
    EXPECT_GE(run.count("toc_get_info \"me\""), 7u);
    run.ims(100);
    run.advance(run.t + 30000);
    run.answers = false;
    const long long last = run.t;
    run.sock.Receive(Data("NICK:Me"));
    run.advance(last + 89999);
    EXPECT_EQ(run.log, "");
    run.advance(last + 90000);
    EXPECT_EQ(run.log, "WinsockError No answer from the server for 90 s; Reconnecting 1 1000; ");
    // Not signed on, the system's "check now" sends nothing; signed on, the probe goes at once.
    run.account.CheckNow();
    EXPECT_EQ(run.sock.AllSent(), "");
    run.advance(run.t + 1000);
    run.signOn();
    run.sent.clear();
    run.account.CheckNow();
    run.serve();
    EXPECT_EQ(run.sent, std::vector<std::string>({ "toc_get_info \"me\"" }));
}

TEST(Account, SilentDropsInARowCountUpAndASessionThatHeldStartsAfresh)
{
    Session run({ {}, { Ms(15000), Ms(2000), Ms(2000) }, true, 256 });
    run.account.SignOn(me);
    for (const long long held : { 10000, 10000, 50000, 61000, 10000 }) {
        if (run.account.GetState() == toc::Account::State::Waiting)
            run.advance(*run.wake);
        run.signOn();
        run.advance(run.t + held); // probes answered all along
        run.answers = false;
        run.advance(run.t + 5000);
        EXPECT_LE(run.lostAt - run.lastByte, 4000);
    }
    EXPECT_EQ(run.reconnects(), "1 1000, 2 2000, 3 4000, 1 1000, 2 2000, ");
}

TEST(Account, LogOffAndLoginActAtOnceUnlessCommandsAreQueuedBehindWhichTheyWait)
{
    Session run;
    run.account.SignOn(me);
    run.signOn();
    run.sock.PeerClose();
    run.ims(2, "late");
    run.account.LogOff();
    EXPECT_EQ(run.log, "WinsockError Connection closed by server; Reconnecting 1 1000; not sent late; not sent late; LoggedOut; ");
    EXPECT_TRUE(run.account.GetState() == toc::Account::State::Off && !run.wake);

    // A Login while IMs are held waits for them; what comes after it waits for its sign-on.
    run.log.clear();
    run.account.SignOn(me);
    run.signOn();
    run.ims(10);
    run.account.SignOn({ "Me", "typo", "toc.test", 5190, {} });
    run.ims(1, "after");
    run.advance(run.t + 20000);
    EXPECT_EQ(std::pair(run.count("toc_send_im"), run.sock.connectCalls), std::pair(std::size_t { 10 }, 3));
    // Its refusal stops the retrying, however recent the last sign-on.
    run.sock.CompleteConnect();
    run.sock.Receive(Data("ERROR:980"));
    run.sock.PeerClose();
    EXPECT_TRUE(run.account.PasswordRefused());
    EXPECT_EQ(run.log, "WinsockError Connection closed by server; not sent after; ");
}

TEST(Account, TheSystemsSignalsRestartTheBackOffAndNoAttemptIsSpentWithoutANetwork)
{
    Session run;
    run.account.SignOn(me);
    run.advance(run.t + 30000); // a server that never completes the sign-on
    EXPECT_EQ(run.log, "WinsockError The server did not complete the sign-on within 30 s; Reconnecting 1 1000; ");
    run.advance(*run.wake);
    for (int i = 0; i < 2; ++i) {
        run.sock.Fail("refused");
        run.advance(*run.wake);
    }
    run.sock.Fail("refused");
    run.account.TryNow();
    run.sock.Fail("refused");
    run.account.SetNetworkAvailable(false);
    run.sock.Fail("ignored: no attempt is under way");
    run.advance(run.t + 300000);
    run.sock.Fail("refused");
    run.account.SetNetworkAvailable(true);
    run.sock.Fail("refused");
    EXPECT_EQ(run.reconnects(), "1 1000, 2 2000, 3 4000, 4 8000, 2 2000, 2 300000, 2 300000, 3 4000, ");
}

} // namespace
