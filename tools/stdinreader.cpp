#include "tools/stdinreader.h"

#include <array>
#include <cerrno>

#include <unistd.h>

namespace tocli {

StdinReader::StdinReader(int fd, std::size_t maxLine, Callbacks callbacks)
    : m_fd(fd)
    , m_splitter(maxLine)
    , m_callbacks(std::move(callbacks))
    , m_notifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read))
{
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { onReadable(); });
}

void StdinReader::Stop()
{
    m_stopped = true;
    m_notifier->setEnabled(false);
}

void StdinReader::onReadable()
{
    // One read per wake-up: the descriptor stays blocking (it may be a terminal shared with the
    // parent), and the notifier only fires when a read will not block.
    std::array<char, 65536> buffer;
    const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        finish();
        return;
    }
    m_splitter.Feed(
        std::string_view(buffer.data(), static_cast<std::size_t>(n)),
        [this](std::string_view line) {
            if (m_kept.empty() && !full())
                m_callbacks.line(line);
            else
                m_kept.emplace_back(std::string(line));
            return !m_stopped;
        },
        [this] {
            if (m_kept.empty() && !full())
                m_callbacks.overflow();
            else
                m_kept.emplace_back(std::nullopt);
            return !m_stopped;
        });
    if (!m_kept.empty() && !m_stopped)
        m_notifier->setEnabled(false);
}

void StdinReader::Resume()
{
    while (!m_kept.empty() && !m_stopped && !full()) {
        std::optional<std::string> line = std::move(m_kept.front());
        m_kept.pop_front();
        deliver(std::move(line));
    }
    if (m_kept.empty() && !m_stopped)
        m_notifier->setEnabled(true);
}

void StdinReader::deliver(std::optional<std::string> line)
{
    if (line)
        m_callbacks.line(*line);
    else
        m_callbacks.overflow();
}

void StdinReader::finish()
{
    m_notifier->setEnabled(false);
    if (auto last = m_splitter.Finish()) {
        m_callbacks.line(*last);
        if (m_stopped)
            return;
    }
    m_stopped = true;
    m_callbacks.end();
}

} // namespace tocli
