#pragma once

#include <functional>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QSocketNotifier>

#include "tools/linesplitter.h"

namespace tocli {

/// Reads lines from a file descriptor (toc-cli's stdin) as the event loop reports it readable:
/// no thread, no polling. Each line, an overlong line and the end of input are handed to the
/// callbacks on the event loop's thread. While `full` says so, it stops reading (the writer blocks
/// once the pipe is full) and keeps the lines of the last read until Resume.
class StdinReader {
public:
    struct Callbacks {
        std::function<void(std::string_view line)> line;
        std::function<void()> overflow;
        std::function<void()> end;
        std::function<bool()> full; // optional
    };

    StdinReader(int fd, std::size_t maxLine, Callbacks callbacks);
    /// Stops reading; no callback is made after this.
    void Stop();
    /// There is room again: hands over what was kept, and reads on once it has all gone.
    void Resume();

private:
    void onReadable();
    void finish();
    void deliver(std::optional<std::string> line);
    bool full() const { return m_callbacks.full && m_callbacks.full(); }

    int m_fd;
    LineSplitter m_splitter;
    Callbacks m_callbacks;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::deque<std::optional<std::string>> m_kept; // lines of the last read not yet handed over; nullopt: an overlong one
    bool m_stopped = false;
};

} // namespace tocli
