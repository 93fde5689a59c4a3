#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/colors.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/xpbutton.h"
#include "tests/support/fakesocket.h"

// Readable positions and rectangles in failure messages.
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << "(" << p.x() << ", " << p.y() << ")"; }
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace windows_test {

using Sent = std::vector<std::string>;

/// `text` with the NUL that ends every command on the wire.
inline std::string cmd(const std::string& text) { return text + '\0'; }
/// The object names of the controls that Tab reaches, in order, starting at `first`.
QString tabOrder(QWidget* first);
/// How many pixels of `area` pass `test`.
int countPixels(const QImage& image, QRect area, bool (*test)(QRgb));
/// Runs the deletions that closed windows asked for.
void flushDeletes();

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

    /// Presses "Sign On" and plays the server's side up to LoggedIn; returns what the window sent
    /// in answer to the server's sign-on and clears it.
    Sent signOn();
    /// Joins chat 7 "Room" by the server's word alone.
    void joinRoom7() { sock->Receive(testing_support::Data("CHAT_JOIN:7:Room")); }
    /// The payloads of the DATA frames sent since the last clear, NUL included.
    Sent sentData() const;
    /// The status caption and which of Text1 .. Text4 are read-only: "Online 1100".
    std::string state() const;
    std::vector<XPButton*> buttons() const;
    std::vector<QLineEdit*> boxes() const;
    /// A press, as a user would make it, in the middle of `widget`.
    static void press(QWidget* widget, Qt::MouseButton button = Qt::LeftButton);

    testing_support::FakeSocket* sock = nullptr;
    std::unique_ptr<Form1> form;
};

} // namespace windows_test
