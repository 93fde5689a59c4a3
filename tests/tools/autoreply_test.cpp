#include "tools/autoreply.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using tocli::AutoReply;

// One account's afternoon, in order: each IM after the away message changes (nullptr: as it was,
// "": cleared), with the answer it gets, if any.
struct Step {
    int at;
    const char* setAway;
    const char* sender;
    bool autoResponse;
    const char* answer;
};

TEST(AutoReply, AnswersEachSenderOncePerIntervalButNeverAnAnswerOneselfOrAfterTheAwayIsCleared)
{
    const Step steps[] = {
        { 0, "Out: %n, %d %t, 100%% %x 5%", "Bob Smith", false, "Out: Bob Smith, 2026-03-04 09:05, 100% %x 5%" },
        { 10, nullptr, "BOBSMITH", false, nullptr },  // the same name, written otherwise
        { 20, nullptr, "Ann", true, nullptr },        // itself an automatic answer
        { 30, nullptr, "me too", false, nullptr },    // oneself
        { 40, nullptr, "", false, nullptr },
        { 599, nullptr, "bob smith", false, nullptr },
        { 600, nullptr, "bob smith", false, "Out: bob smith, 2026-03-04 09:05, 100% %x 5%" },
        { 610, nullptr, "Ann", false, "Out: Ann, 2026-03-04 09:05, 100% %x 5%" },
        { 620, "Back at %t", "Ann", false, "Back at 09:05" }, // a new away message starts afresh
        { 630, nullptr, "Ann", false, nullptr },
        { 640, "", "Carl", false, nullptr },
        { 650, "Again", "Carl", false, "Again" },
    };
    AutoReply rule(600s);
    std::tm local {};
    local.tm_year = 126;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 9;
    local.tm_min = 5;
    for (const Step& step : steps) {
        if (step.setAway)
            rule.SetAway(std::string(step.setAway));
        const auto answer = rule.Answer("Me Too", step.sender, step.autoResponse, AutoReply::Clock::time_point(step.at * 1s), local);
        EXPECT_EQ(answer.value_or("(none)"), step.answer ? step.answer : "(none)") << "at " << step.at << " s";
    }
    AutoReply off(0s);
    off.SetAway(std::string("Away"));
    EXPECT_FALSE(off.Answer("me", "bob", false, {}, local));
}

} // namespace
