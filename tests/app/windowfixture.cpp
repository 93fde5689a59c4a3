#include "tests/app/windowfixture.h"

namespace windows_test {

using testing_support::Data;

QString tabOrder(QWidget* first)
{
    QStringList order;
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != first);
    return order.join(QLatin1Char(' '));
}

int countPixels(const QImage& image, QRect area, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y)) ? 1 : 0;
    return n;
}

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void MainWindowTest::TearDown()
{
    if (Form2* im = Form2::existing())
        im->close();
    form.reset();
    flushDeletes();
}

Sent MainWindowTest::signOn()
{
    press(form->XPButton1);
    sock->CompleteConnect();
    sock->Receive(testing_support::Frame(1, std::string("\0\0\0\1", 4)));
    sock->ClearSent();
    sock->Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Joe") + Data("CONFIG2:done:\n"));
    EXPECT_EQ(sock->State(), toc::SocketState::Connected);
    const Sent answer = sentData();
    sock->ClearSent();
    return answer;
}

Sent MainWindowTest::sentData() const
{
    Sent payloads;
    for (const auto& frame : testing_support::ParseFrames(sock->AllSent())) {
        if (frame.type == 2)
            payloads.push_back(frame.payload);
    }
    return payloads;
}

std::string MainWindowTest::state() const
{
    std::string text = form->Label1->text().toStdString() + " ";
    for (QLineEdit* box : boxes())
        text += box->isReadOnly() ? '1' : '0';
    return text;
}

std::vector<XPButton*> MainWindowTest::buttons() const
{
    return { form->XPButton1, form->XPButton2, form->XPButton3, form->XPButton4, form->XPButton5 };
}

std::vector<QLineEdit*> MainWindowTest::boxes() const
{
    return { form->Text1, form->Text2, form->Text3, form->Text4 };
}

void MainWindowTest::press(QWidget* widget, Qt::MouseButton button)
{
    QTest::mousePress(widget, button, Qt::NoModifier, widget->rect().center());
    QTest::mouseRelease(widget, button, Qt::NoModifier, widget->rect().center());
}

} // namespace windows_test
