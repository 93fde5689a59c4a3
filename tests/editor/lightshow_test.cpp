#include <array>
#include <utility>
#include <vector>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/xpbutton.h"
#include "editorfixture.h"

using editor_testing::EditorFixture;
using editor_testing::WriteLog;
using Lines = std::vector<std::string>;

namespace {

constexpr std::uint32_t red = 0x0000FF;
constexpr const char* allBlack = "000000 000000 000000 000000 000000";

} // namespace

class LightShow : public EditorFixture {
protected:
    void start() const { click(editor()->Command7); }
    void stop() const { click(editor()->Command8); }
    /// Fires the timers numbered in `order`, one after another.
    void fireInTurn(std::initializer_list<int> order) const
    {
        for (int number : order)
            fire(timer(number));
    }
};

TEST_F(LightShow, NothingChangesBeforeTheFirstTickThenTheLightVisitsTheButtonsInTurnAndComesBack)
{
    struct Step {
        int fired;
        const char* faces;
        const char* running;
        Lines writes;
    };
    const Step steps[] = {
        { 1, "C0C0C0 000000 000000 000000 000000", "1 2", { "XPButton1 bcol C0C0C0", "XPButton5 bcol 000000" } },
        { 2, "000000 C0C0C0 000000 000000 000000", "2 3", { "XPButton2 bcol C0C0C0", "XPButton1 bcol 000000" } },
        { 3, "000000 000000 C0C0C0 000000 000000", "3 4", { "XPButton3 bcol C0C0C0", "XPButton2 bcol 000000" } },
        { 4, "000000 000000 000000 C0C0C0 000000", "4 5", { "XPButton4 bcol C0C0C0", "XPButton3 bcol 000000" } },
        { 5, "000000 000000 000000 000000 C0C0C0", "1 5", { "XPButton5 bcol C0C0C0", "XPButton4 bcol 000000" } },
        { 1, "C0C0C0 000000 000000 000000 000000", "1 2", { "XPButton1 bcol C0C0C0", "XPButton5 bcol 000000" } },
    };
    for (int number = 1; number <= 5; ++number)
        EXPECT_EQ(timer(number)->interval(), 50);
    EXPECT_EQ(runningTimers(), "");
    WriteLog before;
    watchButtons(before);
    start();
    EXPECT_EQ(runningTimers(), "1");
    EXPECT_EQ(before.lines, Lines {});

    for (const Step& step : steps) {
        SCOPED_TRACE(step.fired);
        WriteLog log;
        watchButtons(log);
        fire(timer(step.fired));
        EXPECT_EQ(faces(), step.faces);
        EXPECT_EQ(runningTimers(), step.running);
        EXPECT_EQ(log.lines, step.writes);
    }
}

TEST_F(LightShow, StartAgainWhileTimer1RunsChangesNothingAndTwoTimersDueTogetherMoveTheLightByOne)
{
    // That the schedule is kept shows only against the clock: see AdvancesAboutEveryFiftyMilliseconds.
    start();
    start();
    EXPECT_EQ(runningTimers(), "1");
    EXPECT_EQ(faces(), allBlack);
    fire(timer(1));
    start();
    EXPECT_EQ(runningTimers(), "1 2");
    EXPECT_EQ(faces(), "C0C0C0 000000 000000 000000 000000");

    // Timer2 ticks again before Timer3's first tick: the same colours, nothing else moves.
    fireInTurn({ 2, 2 });
    EXPECT_EQ(faces(), "000000 C0C0C0 000000 000000 000000");
    EXPECT_EQ(runningTimers(), "2 3");
    fire(timer(3));
    EXPECT_EQ(faces(), "000000 000000 C0C0C0 000000 000000");
    EXPECT_EQ(runningTimers(), "3 4");
}

TEST_F(LightShow, StartAgainAfterTheHandOverRunsASecondLight)
{
    // The firing order is the real one for a second Start 10 ms after Timer3's tick: the first
    // chain's timers fall due at 200, 250, 300 ms, the second chain's at 210, 260, 310 ms.
    start();
    fireInTurn({ 1, 2, 3 });
    start();
    EXPECT_EQ(runningTimers(), "1 3 4");
    fireInTurn({ 4, 1 });
    EXPECT_EQ(faces(), "C0C0C0 000000 000000 C0C0C0 000000");
    EXPECT_EQ(runningTimers(), "1 2 4");
    fireInTurn({ 4, 2 });
    EXPECT_EQ(faces(), "000000 C0C0C0 000000 C0C0C0 000000");
    fireInTurn({ 5, 3 });
    EXPECT_EQ(faces(), "000000 000000 C0C0C0 000000 C0C0C0");
    EXPECT_EQ(runningTimers(), "1 3 4 5");
    stop();
    EXPECT_EQ(runningTimers(), "");
    EXPECT_EQ(faces(), allBlack);
}

TEST_F(LightShow, SecondStartJustBehindTheLightMergesIntoIt)
{
    start();
    fireInTurn({ 1, 2, 3, 4 });
    start();
    EXPECT_EQ(runningTimers(), "1 4 5");
    // Timer5 finds Timer1 already running and leaves it be; Timer1 then takes Timer5 away.
    fire(timer(5));
    EXPECT_EQ(runningTimers(), "1 5");
    fire(timer(1));
    EXPECT_EQ(faces(), "C0C0C0 000000 000000 000000 000000");
    EXPECT_EQ(runningTimers(), "1 2");
}

TEST_F(LightShow, StopBlackensAllFiveFacesEvenWhenStopped)
{
    choose(editor()->Command3, red);
    WriteLog log;
    watchButtons(log);
    stop();
    EXPECT_EQ(log.lines, (Lines { "XPButton1 bcol 000000", "XPButton2 bcol 000000", "XPButton3 bcol 000000",
                                  "XPButton4 bcol 000000", "XPButton5 bcol 000000" }));
    EXPECT_EQ(runningTimers(), "");
}

TEST_F(LightShow, ButtonColourIsOverwrittenAsTheLightPassesAndCaptionsAreLeftAlone)
{
    choose(editor()->Command4, red);
    start();
    fire(timer(1));
    choose(editor()->Command3, red);
    EXPECT_EQ(faces(), "0000FF 0000FF 0000FF 0000FF 0000FF");
    fire(timer(2));
    EXPECT_EQ(faces(), "000000 C0C0C0 0000FF 0000FF 0000FF");
    fireInTurn({ 3, 4, 5, 1 });
    EXPECT_EQ(faces(), "C0C0C0 000000 000000 000000 000000");
    stop();
    EXPECT_EQ(faces(), allBlack);
    EXPECT_EQ(captions(), "0000FF 0000FF 0000FF 0000FF 0000FF");
}

TEST_F(LightShow, RunsOnWhileTheEditorIsHidden)
{
    editoR* shown = editor();
    start();
    QTest::mouseClick(form1->ed, Qt::LeftButton);
    ASSERT_FALSE(shown->isVisible());
    fire(timer(1));
    EXPECT_EQ(faces(), "C0C0C0 000000 000000 000000 000000");
    QTest::mouseClick(form1->ed, Qt::LeftButton);
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
