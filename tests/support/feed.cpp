#include "tests/support/feed.h"

#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

Session::Session()
{
    auto socket = std::make_unique<FakeSocket>();
    sock = socket.get();
    toc = std::make_unique<toc::OrbTOCSock>(std::move(socket), &rec);
    SignOn();
}

void Session::SignOn(const std::string& name)
{
    toc->Login(name, "pass", "toc.test", 5190);
    sock->CompleteConnect();
    sock->ClearSent();
}

namespace {
    FeedResult run(const std::vector<std::string>& reads, const FeedOptions& options)
    {
        Session s;
        s.rec.logPackets = options.logPackets;
        if (options.prepare)
            options.prepare(s);
        s.rec.Clear();
        s.sock->ClearSent();
        for (const auto& read : reads)
            s.Receive(read);
        std::string log = s.rec.Joined();
        if (options.probe)
            log += options.probe(s);
        return { log, s.sock->AllSent() };
    }

    void expectSame(const FeedResult& whole, const FeedResult& other, const std::string& how)
    {
        EXPECT_EQ(whole.log, other.log) << how;
        EXPECT_EQ(whole.sent, other.sent) << how;
    }
}

FeedOptions OnEvent(const std::string& event, std::function<void(Session&)> action)
{
    FeedOptions options;
    options.prepare = [event, action](Session& s) {
        s.rec.after = [&s, event, action](const std::string& name) {
            if (name == event)
                action(s);
        };
    };
    return options;
}

FeedResult FeedEveryWay(const std::string& bytes, const FeedOptions& options)
{
    const FeedResult whole = run({ bytes }, options);

    std::vector<std::string> single;
    for (const char c : bytes)
        single.emplace_back(1, c);
    expectSame(whole, run(single, options), "fed byte by byte");

    for (std::size_t at = 1; at < bytes.size(); ++at)
        expectSame(whole, run({ bytes.substr(0, at), bytes.substr(at) }, options),
                   "split at offset " + std::to_string(at));
    return whole;
}

} // namespace testing_support
