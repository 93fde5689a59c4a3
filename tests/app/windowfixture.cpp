#include "tests/app/windowfixture.h"

#include "tests/support/fakesocket.h"

namespace windows_test {

using testing_support::Data;
using testing_support::Frame;

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void MainWindowTest::TearDown()
{
    if (Form2* im = Form2::existing())
        im->close();
    form.reset();
    flushDeletes();
}

void MainWindowTest::signOn()
{
    press(form->XPButton1);
    sock->CompleteConnect();
    sock->Receive(Frame(1, std::string("\0\0\0\1", 4)));
    sock->Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Joe") + Data("CONFIG2:done:\n"));
    ASSERT_EQ(sock->State(), toc::SocketState::Connected);
    sock->ClearSent();
}

void MainWindowTest::joinRoom7()
{
    sock->Receive(Data("CHAT_JOIN:7:Room"));
}

std::vector<std::string> MainWindowTest::sentData() const
{
    std::vector<std::string> payloads;
    for (const auto& frame : testing_support::ParseFrames(sock->AllSent())) {
        if (frame.type == 2)
            payloads.push_back(frame.payload);
    }
    return payloads;
}

void MainWindowTest::press(QWidget* widget, Qt::MouseButton button)
{
    QTest::mousePress(widget, button, Qt::NoModifier, widget->rect().center());
    QTest::mouseRelease(widget, button, Qt::NoModifier, widget->rect().center());
}

} // namespace windows_test
