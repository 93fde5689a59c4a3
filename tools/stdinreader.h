#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <QSocketNotifier>

#include "tools/linesplitter.h"

namespace tocli {

/// Reads lines from a file descriptor (toc-cli's stdin) as the event loop reports it readable:
/// no thread, no polling. Each line, an overlong line and the end of input are handed to the
/// callbacks on the event loop's thread.
class StdinReader {
public:
    struct Callbacks {
        std::function<void(std::string_view line)> line;
        std::function<void()> overflow;
        std::function<void()> end;
    };

    StdinReader(int fd, std::size_t maxLine, Callbacks callbacks);
    /// Stops reading; no callback is made after this.
    void Stop();

private:
    void onReadable();
    void finish();

    int m_fd;
    LineSplitter m_splitter;
    Callbacks m_callbacks;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_stopped = false;
};

} // namespace tocli
