#include <utility>

#include <QElapsedTimer>

#include "editorfixture.h"

using editor_testing::EditorFixture;
using editor_testing::WriteLog;

namespace {

/// One step of a light-show script and what must hold after it; nullptr: not checked.
struct Step {
    const char* action; // "start", "stop", "" (nothing) or the timers fired in turn: "45"
    const char* faces = nullptr;
    const char* running = nullptr;
    const char* writes = nullptr; // the buttons' colour writes, "; "-separated
};

class LightShow : public EditorFixture {
protected:
    void start() const { click(editor()->Command7); }
    void stop() const { click(editor()->Command8); }
    void play(std::initializer_list<Step> script) const
    {
        for (const Step& step : script) {
            SCOPED_TRACE(step.action);
            WriteLog log;
            watchButtons(log);
            const std::string action = step.action;
            if (action == "start")
                start();
            if (action == "stop")
                stop();
            for (char number : action == "start" || action == "stop" ? std::string() : action)
                fire(timer(number - '0'));
            std::string writes;
            for (const std::string& line : log.lines)
                writes += (writes.empty() ? "" : "; ") + line;
            const std::pair<const char*, std::string> checks[]
                = { { step.faces, faces() }, { step.running, runningTimers() }, { step.writes, writes } };
            for (const auto& [expected, actual] : checks) {
                if (expected) {
                    EXPECT_EQ(actual, expected);
                }
            }
        }
    }
};

} // namespace

TEST_F(LightShow, NothingChangesBeforeTheFirstTickThenTheLightVisitsTheButtonsInTurnAndComesBack)
{
    for (int number = 1; number <= 5; ++number)
        EXPECT_EQ(timer(number)->interval(), 50);
    play({ { "", ".....", "" },
           { "start", ".....", "1", "" },
           { "1", "#....", "1 2", "XPButton1 bcol C0C0C0; XPButton5 bcol 000000" },
           { "2", ".#...", "2 3", "XPButton2 bcol C0C0C0; XPButton1 bcol 000000" },
           { "3", "..#..", "3 4", "XPButton3 bcol C0C0C0; XPButton2 bcol 000000" },
           { "4", "...#.", "4 5", "XPButton4 bcol C0C0C0; XPButton3 bcol 000000" },
           { "5", "....#", "1 5", "XPButton5 bcol C0C0C0; XPButton4 bcol 000000" },
           { "1", "#....", "1 2", "XPButton1 bcol C0C0C0; XPButton5 bcol 000000" } });
}

TEST_F(LightShow, StartAgainWhileTimer1RunsChangesNothingAndTwoTimersDueTogetherMoveTheLightByOne)
{
    // That the schedule is kept shows only against the clock: see AdvancesAboutEveryFiftyMilliseconds.
    // Timer2 ticking again before Timer3's first tick keeps the same colours; nothing else moves.
    play({ { "start", ".....", "1" }, { "start", ".....", "1", "" }, { "1", "#....", "1 2" },
           { "start", "#....", "1 2", "" }, { "22", ".#...", "2 3" }, { "3", "..#..", "3 4" } });
}

TEST_F(LightShow, StartAgainAfterTheHandOverRunsASecondLight)
{
    // The firing order is the real one for a second Start 10 ms after Timer3's tick: the first
    // chain's timers fall due at 200, 250, 300 ms, the second chain's at 210, 260, 310 ms.
    play({ { "start" }, { "123" }, { "start", nullptr, "1 3 4" }, { "41", "#..#.", "1 2 4" }, { "42", ".#.#." },
           { "53", "..#.#", "1 3 4 5" }, { "stop", ".....", "" } });
}

TEST_F(LightShow, SecondStartJustBehindTheLightMergesIntoIt)
{
    // Timer5 finds Timer1 already running and leaves it be; Timer1 then takes Timer5 away.
    play({ { "start" }, { "1234" }, { "start", nullptr, "1 4 5" }, { "5", nullptr, "1 5" }, { "1", "#....", "1 2" } });
}

TEST_F(LightShow, StopBlackensAllFiveFacesEvenWhenStopped)
{
    choose(editor()->Command3, 0x0000FF);
    play({ { "stop", ".....", "",
             "XPButton1 bcol 000000; XPButton2 bcol 000000; XPButton3 bcol 000000; XPButton4 bcol 000000; "
             "XPButton5 bcol 000000" } });
}

TEST_F(LightShow, ButtonColourIsOverwrittenAsTheLightPassesAndCaptionsAreLeftAlone)
{
    choose(editor()->Command4, 0x0000FF);
    play({ { "start" }, { "1" } });
    choose(editor()->Command3, 0x0000FF);
    play({ { "", "rrrrr" }, { "2", ".#rrr" }, { "3451", "#...." }, { "stop", "....." } });
    EXPECT_EQ(captions(), "rrrrr");
}

TEST_F(LightShow, RunsOnWhileTheEditorIsHidden)
{
    editoR* shown = editor();
    start();
    QTest::mouseClick(form->ed, Qt::LeftButton);
    ASSERT_FALSE(shown->isVisible());
    fire(timer(1));
    EXPECT_EQ(faces(), "#....");
    QTest::mouseClick(form->ed, Qt::LeftButton);
    EXPECT_EQ(editor(), shown);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(runningTimers(), "1 2");
}

TEST_F(LightShow, AdvancesAboutEveryFiftyMilliseconds)
{
    // The one wall-clock check: the light goes round once with the real timers, while Start is
    // pressed again every 10 ms until the first light, which must not put it off.
    QElapsedTimer clock;
    std::vector<std::pair<int, qint64>> lit;
    for (int i = 1; i <= 5; ++i) {
        QObject::connect(buttons()[static_cast<std::size_t>(i - 1)], &XPButton::bcolChanged, editor(),
                         [&lit, &clock, i](uint value) {
                             if (value == 0xC0C0C0 && (lit.empty() || lit.back().first != i))
                                 lit.emplace_back(i, clock.elapsed());
                         });
    }
    QTimer presser;
    presser.setInterval(10);
    QObject::connect(&presser, &QTimer::timeout, editor(), [&] {
        if (lit.empty())
            start();
        else
            presser.stop();
    });
    clock.start();
    start();
    presser.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lit.size() >= 6; }, 10000));
    stop();

    std::vector<int> order;
    for (std::size_t i = 0; i < 6; ++i)
        order.push_back(lit[i].first);
    EXPECT_EQ(order, (std::vector<int> { 1, 2, 3, 4, 5, 1 }));
    EXPECT_GE(lit[0].second, 40);
    EXPECT_LE(lit[0].second, 500);
    const qint64 cycle = lit[5].second - lit[0].second;
    EXPECT_GE(cycle, 200);
    EXPECT_LE(cycle, 2500);
}
