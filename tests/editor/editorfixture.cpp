#include "editorfixture.h"

#include <cstdio>

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/colors.h"
#include "app/form2.h"
#include "app/xpbutton.h"
#include "editor/colordialog.h"
#include "tests/support/fakesocket.h"

namespace editor_testing {

std::string Hex(std::uint32_t colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(colour));
    return text;
}

void WriteLog::watch(QWidget* widget)
{
    widget->installEventFilter(this);
}

void WriteLog::watch(XPButton* button)
{
    connect(button, &XPButton::bcolChanged, this,
            [this, button](uint value) { add(button, "bcol " + Hex(value)); });
    connect(button, &XPButton::fcolChanged, this,
            [this, button](uint value) { add(button, "fcol " + Hex(value)); });
}

bool WriteLog::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
        add(watched, "palette");
        break;
    case QEvent::ShowToParent:
        add(watched, "shown");
        break;
    case QEvent::HideToParent:
        add(watched, "hidden");
        break;
    default:
        break;
    }
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
        const std::optional<QColor> choice = answers.front();
        answers.pop_front();
        return choice;
    });
    form1 = std::make_unique<Form1>(std::make_unique<testing_support::FakeSocket>());
    form1->show();
    ASSERT_NE(editor(), nullptr);
    ASSERT_FALSE(editor()->isVisible());
    QTest::mouseClick(form1->ed, Qt::LeftButton);
    ASSERT_TRUE(editor()->isVisible());
}

void EditorFixture::TearDown()
{
    ColorDialog::setChooserForTesting({});
    delete Form2::existing();
    form1.reset();
    // Closed windows go with deferred deletes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(answers.empty()) << "prepared dialog answers were not used";
}

void EditorFixture::click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void EditorFixture::fire(QTimer* timer)
{
    ASSERT_EQ(timer->interval(), 50) << timer->objectName().toStdString();
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
}

std::string EditorFixture::faces() const
{
    std::string text;
    for (XPButton* button : { form1->XPButton1, form1->XPButton2, form1->XPButton3, form1->XPButton4,
                              form1->XPButton5 }) {
        if (!text.empty())
            text += ' ';
        text += Hex(button->bcol());
    }
    return text;
}

std::string EditorFixture::runningTimers() const
{
    std::string text;
    int number = 1;
    for (QTimer* timer : { editor()->Timer1, editor()->Timer2, editor()->Timer3, editor()->Timer4,
                           editor()->Timer5 }) {
        if (timer->isActive()) {
            if (!text.empty())
                text += ' ';
            text += std::to_string(number);
        }
        ++number;
    }
    return text;
}

} // namespace editor_testing
