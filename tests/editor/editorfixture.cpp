#include "editorfixture.h"

#include <array>
#include <cstdio>

#include "editor/colordialog.h"

namespace editor_testing {

std::string Hex(std::uint32_t colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour));
    return text;
}

void WriteLog::watch(QWidget* widget) { widget->installEventFilter(this); }

void WriteLog::watch(XPButton* button)
{
    connect(button, &XPButton::bcolChanged, this, [this, button](uint value) { add(button, "bcol " + Hex(value)); });
    connect(button, &XPButton::fcolChanged, this, [this, button](uint value) { add(button, "fcol " + Hex(value)); });
}

bool WriteLog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        add(watched, "palette");
    else if (event->type() == QEvent::ShowToParent)
        add(watched, "shown");
    else if (event->type() == QEvent::HideToParent)
        add(watched, "hidden");
    return false;
}

void WriteLog::add(const QObject* target, const std::string& what)
{
    const auto* widget = qobject_cast<const QWidget*>(target);
    std::string name = target->objectName().toStdString();
    // Both windows have a WinIII and an xx; the buttons' names are unique.
    if (widget && !qobject_cast<const XPButton*>(widget))
        name = widget->window()->objectName().toStdString() + "." + name;
    const std::string line = name + " " + what;
    // One colour write may touch the palette twice (fill flag, then colours).
    if (lines.empty() || lines.back() != line)
        lines.push_back(line);
}

void EditorFixture::SetUp()
{
    ColorDialog::setChooserForTesting([this](QColor initial) -> std::optional<QColor> {
        dialogStartedAt.push_back(FromQColor(initial));
        if (answers.empty()) {
            ADD_FAILURE() << "the colour dialog opened without a prepared answer";
            return std::nullopt;
        }
        const std::optional<std::uint32_t> choice = answers.front();
        answers.pop_front();
        return choice ? std::optional<QColor>(ToQColor(*choice)) : std::nullopt;
    });
    MainWindowTest::SetUp();
    ASSERT_NE(editor(), nullptr);
    ASSERT_FALSE(editor()->isVisible());
    QTest::mouseClick(form->ed, Qt::LeftButton);
    ASSERT_TRUE(editor()->isVisible());
}

void EditorFixture::TearDown()
{
    ColorDialog::setChooserForTesting({});
    MainWindowTest::TearDown();
    EXPECT_TRUE(answers.empty()) << "prepared dialog answers were not used";
}

void EditorFixture::choose(QPushButton* command, std::optional<std::uint32_t> colour)
{
    answers.push_back(colour);
    click(command);
}

void EditorFixture::fire(QTimer* timer)
{
    ASSERT_EQ(timer->interval(), 50) << timer->objectName().toStdString();
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
}

QTimer* EditorFixture::timer(int number) const
{
    const std::array<QTimer*, 5> timers { editor()->Timer1, editor()->Timer2, editor()->Timer3, editor()->Timer4,
                                          editor()->Timer5 };
    return timers.at(static_cast<std::size_t>(number - 1));
}

void EditorFixture::watchButtons(WriteLog& log) const
{
    for (XPButton* button : buttons())
        log.watch(button);
}

namespace {

char shade(std::uint32_t colour)
{
    switch (colour) {
    case 0xC0C0C0:
        return '#';
    case 0x000000:
        return '.';
    case 0x0000FF:
        return 'r';
    case 0xFF0000:
        return 'b';
    default:
        return '?';
    }
}

} // namespace

std::string EditorFixture::faces() const
{
    std::string text;
    for (XPButton* button : buttons())
        text += shade(button->bcol());
    return text;
}

std::string EditorFixture::captions() const
{
    std::string text;
    for (XPButton* button : buttons())
        text += shade(button->fcol());
    return text;
}

std::string EditorFixture::runningTimers() const
{
    std::string text;
    for (int number = 1; number <= 5; ++number) {
        if (timer(number)->isActive())
            text += (text.empty() ? "" : " ") + std::to_string(number);
    }
    return text;
}

} // namespace editor_testing
