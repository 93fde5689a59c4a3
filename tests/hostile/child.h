#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace hostile {

using std::chrono::milliseconds;

/// A program under test, started with a pipe on stdin and stdout; stderr is inherited. Lines
/// printed on stdout are collected by a reader thread (long lines keep their first and last 2 KiB,
/// so megabyte lines cost no more than short ones). Killed when this goes.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return m_pid; }
    void Write(std::string_view bytes);
    void CloseInput();

    /// Index of the first line at or after `from` that contains `needle`, waiting up to `timeout`.
    std::optional<std::size_t> WaitForLine(std::string_view needle, std::size_t from = 0,
                                           milliseconds timeout = milliseconds(20000));
    /// Waits until `count` lines containing `needle` have been printed in all; true when they have.
    bool WaitForCount(std::string_view needle, std::size_t count, milliseconds timeout = milliseconds(20000));
    std::size_t Count(std::string_view needle) const;
    std::size_t LineCount() const;
    std::string Line(std::size_t i) const;

    /// Runs one command that prints a {"result": ...} line and returns that line: proof that the
    /// program is not blocked.
    std::optional<std::string> Ask(std::string_view commandLine, milliseconds timeout = milliseconds(20000));

    /// The exit status, or the negated signal number; nothing while it still runs after `timeout`.
    std::optional<int> WaitForExit(milliseconds timeout = milliseconds(20000));

    /// Peak and current resident set size, from /proc (KiB).
    std::size_t PeakRssKiB() const;
    std::size_t RssKiB() const;
    /// User plus system CPU time so far, in seconds.
    double CpuSeconds() const;
    /// Open file descriptors.
    std::size_t OpenFiles() const;

private:
    void readLoop();
    std::size_t countLocked(std::string_view needle) const;

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::thread m_reader;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
    bool m_eof = false;
    std::optional<int> m_status;
};

/// Reads one "Name:  <n> kB" field of /proc/PID/status.
std::size_t StatusKiB(pid_t pid, std::string_view field);

/// Environment for sanitizer builds: a small quarantine, so freed memory does not count as held.
void LimitSanitizerQuarantine();

} // namespace hostile
