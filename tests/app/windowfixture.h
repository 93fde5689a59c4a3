#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "app/form1.h"
#include "app/form2.h"
#include "app/xpbutton.h"
#include "tests/support/fakesocket.h"

// Readable positions and rectangles in failure messages.
inline void PrintTo(const QPoint& p, std::ostream* os)
{
    *os << "(" << p.x() << ", " << p.y() << ")";
}
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace windows_test {

/// A main window on a fake socket; "Sign On" goes to toc.test:5190.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { reopen<Form1>(); }
    void TearDown() override;

    /// Replaces the fixture's window with a fresh one of type `Window` on a new fake socket.
    template <typename Window> void reopen()
    {
        auto socket = std::make_unique<testing_support::FakeSocket>();
        sock = socket.get();
        form.reset(new Window(std::move(socket), ServerAddress { "toc.test", 5190 }));
        form->show();
    }

    /// Presses "Sign On" and plays the server's side up to LoggedIn; clears what was sent.
    void signOn();
    /// Joins chat 7 "Room" by the server's word alone.
    void joinRoom7();
    /// The payloads of the DATA frames sent since the last clear, NUL included.
    std::vector<std::string> sentData() const;
    /// A press, as a user would make it, in the middle of `widget`.
    static void press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton);

    testing_support::FakeSocket* sock = nullptr;
    std::unique_ptr<Form1> form;
};

/// Runs the deletions that closed windows asked for.
void flushDeletes();

} // namespace windows_test
