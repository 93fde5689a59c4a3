// The reconnect policy against a fake clock: each case is a sequence of events at given times and
// the answers expected. The liveness check is driven through the account (account_test).

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "toc/reconnectpolicy.h"

using toc::ReconnectPolicy;
using Ms = std::chrono::milliseconds;

namespace {

constexpr long long Never = -1;

enum class Ev { Ask, On, Refuse, Lost, Off };

struct Step {
    Ev ev;
    long long at = 0;     // ms on the fake clock
    long long value = 0;  // Refuse: the code; Lost: the wait expected (or Never)
};

struct PolicyCase {
    const char* name;
    double random;
    std::vector<Step> steps;
};

const Step Ask { Ev::Ask };

const std::vector<PolicyCase> policyCases = {
    { "a session short of a minute keeps counting, one that lasted starts again", 1.0,
      { Ask, { Ev::Lost, 0, 1000 }, { Ev::Lost, 1000, 2000 }, { Ev::On, 3000 }, { Ev::Lost, 62999, 4000 },
        { Ev::On, 70000 }, { Ev::Lost, 130000, 1000 } } },
    { "a sign-on asked while signed on is a new one: its refusal counts", 1.0,
      { Ask, { Ev::On, 0 }, { Ev::Ask, 30000 }, { Ev::Refuse, 0, 980 }, { Ev::Lost, 30000, Never } } },
    { "a wrong password stops until the user signs on again", 1.0,
      { Ask, { Ev::Lost, 0, 1000 }, { Ev::Refuse, 0, 980 }, { Ev::Lost, 0, Never }, { Ev::Lost, 0, Never }, Ask,
        { Ev::Lost, 0, 2000 } } },
    { "the sign-on limiter: a minute, doubling per 983 in a row up to ten", 0.0,
      { Ask, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 60000 }, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 120000 },
        { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 240000 }, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 480000 },
        { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 600000 }, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 600000 },
        { Ev::Lost, 0, 32000 }, { Ev::On, 0 }, { Ev::Lost, 60000, 500 }, { Ev::Refuse, 0, 983 },
        { Ev::Lost, 0, 60000 } } },
    { "the limiter's jitter stays under ten minutes", 1.0,
      { Ask, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 75000 }, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 150000 },
        { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 300000 }, { Ev::Refuse, 0, 983 }, { Ev::Lost, 0, 600000 } } },
    { "a warning refusal waits at least ten minutes", 0.0,
      { Ask, { Ev::Refuse, 0, 982 }, { Ev::Lost, 0, 600000 }, { Ev::Lost, 0, 1000 } } },
    { "nothing before a sign-on was asked for, nor after signing off", 1.0,
      { { Ev::Lost, 0, Never }, Ask, { Ev::On, 0 }, { Ev::Off, 0 }, { Ev::Lost, 0, Never } } },
};

} // namespace

TEST(ReconnectPolicy, WaitsDoubleWithinTheirJitterWindowUpToFiveMinutes)
{
    const struct {
        double random;
        std::vector<long long> waits;
    } rows[] = {
        { 0.0, { 500, 1000, 2000, 4000, 8000, 16000, 32000, 64000, 128000, 150000, 150000 } },
        { 1.0, { 1000, 2000, 4000, 8000, 16000, 32000, 64000, 128000, 256000, 300000, 300000 } },
    };
    for (const auto& row : rows) {
        ReconnectPolicy policy([&row] { return row.random; });
        policy.SignOnAsked(Ms(0));
        for (std::size_t i = 0; i < row.waits.size(); ++i)
            EXPECT_EQ(policy.Lost(Ms(0)).value_or(Ms(Never)).count(), row.waits[i]) << row.random << ", " << i;
    }
}

TEST(ReconnectPolicy, AnswersEverySequenceAsTheRulesSay)
{
    for (const PolicyCase& c : policyCases) {
        SCOPED_TRACE(c.name);
        ReconnectPolicy policy([&c] { return c.random; });
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            switch (s.ev) {
            case Ev::Ask: policy.SignOnAsked(Ms(s.at)); break;
            case Ev::On: policy.SignedOn(Ms(s.at)); break;
            case Ev::Refuse: policy.SignOnRefused(static_cast<int>(s.value)); break;
            case Ev::Off: policy.SignedOff(); break;
            case Ev::Lost: {
                const auto wait = policy.Lost(Ms(s.at));
                EXPECT_EQ(wait ? wait->count() : Never, s.value) << "step " << i;
                break;
            }
            }
        }
    }
}
