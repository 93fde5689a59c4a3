#pragma once

#include <deque>
#include <optional>

#include "editor/editor.h"
#include "tests/app/windowfixture.h"

class QTimer;

namespace editor_testing {

/// Records, in order, the writes the editor makes to other windows' controls: palette changes
/// ("Form1.Text1 palette"), visibility ("Form2.xx shown" / "hidden") and every bcol / fcol write
/// of the buttons ("XPButton1 bcol C0C0C0").
class WriteLog : public QObject {
public:
    void watch(QWidget* widget);
    void watch(XPButton* button);
    std::vector<std::string> lines;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void add(const QObject* target, const std::string& what);
};

/// A shown main window with its editor shown ("Edit Mode" checked), and a colour dialog that
/// answers from a queue instead of a user: each answer is a colour (OK) or std::nullopt (Cancel).
class EditorFixture : public windows_test::MainWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;

    editoR* editor() const { return form->editor(); }
    /// Clicks `command` with the dialog set to answer `colour` (0x00BBGGRR; nullopt: Cancel).
    void choose(QPushButton* command, std::optional<std::uint32_t> colour);
    static void click(QPushButton* button) { press(button); }
    /// Fires a light-show timer once, after checking it is one of the 50 ms timers.
    static void fire(QTimer* timer);
    /// Timer1 .. Timer5 of the current editor by number.
    QTimer* timer(int number) const;
    void watchButtons(WriteLog& log) const;
    /// The five buttons' faces, XPButton1 first, one letter each: '#' silver C0C0C0, '.' black,
    /// 'r' red 0000FF, 'b' blue FF0000, '?' anything else.
    std::string faces() const;
    /// The five buttons' caption colours, as faces() writes them.
    std::string captions() const;
    /// Which of Timer1 .. Timer5 are running, e.g. "1 2".
    std::string runningTimers() const;

    std::deque<std::optional<std::uint32_t>> answers;
    std::vector<std::uint32_t> dialogStartedAt;
};

std::string Hex(std::uint32_t colour);

} // namespace editor_testing
