#include "tests/hostile/child.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace hostile {

namespace {
    constexpr std::size_t KeptEdge = 2048;

    std::string clip(std::string line)
    {
        if (line.size() <= 2 * KeptEdge)
            return line;
        return line.substr(0, KeptEdge) + "..." + line.substr(line.size() - KeptEdge);
    }
}

Child::Child(const std::vector<std::string>& argv)
{
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    m_in = in[1];
    m_out = out[0];
    m_reader = std::thread([this] { readLoop(); });
}

Child::~Child()
{
    if (!WaitForExit(milliseconds(0))) {
        kill(m_pid, SIGKILL);
        WaitForExit();
    }
    if (m_in >= 0)
        close(m_in);
    m_reader.join();
    close(m_out);
}

void Child::readLoop()
{
    std::string partial;
    char buf[65536];
    while (true) {
        const ssize_t n = read(m_out, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (n <= 0) {
            m_eof = true;
            m_changed.notify_all();
            return;
        }
        std::string_view chunk(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = chunk.find('\n')) != std::string_view::npos;) {
            partial.append(chunk.substr(0, nl));
            m_lines.push_back(clip(std::move(partial)));
            partial.clear();
            chunk.remove_prefix(nl + 1);
        }
        // Keep a long line's beginning and its last bytes only.
        partial.append(chunk);
        if (partial.size() > 4 * KeptEdge)
            partial = partial.substr(0, KeptEdge) + partial.substr(partial.size() - 2 * KeptEdge);
        m_changed.notify_all();
    }
}

void Child::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(m_in, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void Child::CloseInput()
{
    if (m_in >= 0)
        close(m_in);
    m_in = -1;
}

std::size_t Child::countLocked(std::string_view needle) const
{
    std::size_t n = 0;
    for (const std::string& line : m_lines)
        n += line.find(needle) != std::string::npos;
    return n;
}

std::optional<std::size_t> Child::WaitForLine(std::string_view needle, std::size_t from, milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::optional<std::size_t> found;
    m_changed.wait_for(lock, timeout, [&] {
        for (; from < m_lines.size(); ++from) {
            if (m_lines[from].find(needle) != std::string::npos) {
                found = from;
                return true;
            }
        }
        return m_eof;
    });
    return found;
}

bool Child::WaitForCount(std::string_view needle, std::size_t count, milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    std::size_t seen = 0;
    std::size_t scanned = 0;
    return m_changed.wait_for(lock, timeout, [&] {
        for (; scanned < m_lines.size(); ++scanned)
            seen += m_lines[scanned].find(needle) != std::string::npos;
        return seen >= count || m_eof;
    }) && seen >= count;
}

std::size_t Child::Count(std::string_view needle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return countLocked(needle);
}

std::size_t Child::LineCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines.size();
}

std::string Child::Line(std::size_t i) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < m_lines.size() ? m_lines[i] : std::string();
}

std::optional<std::string> Child::Ask(std::string_view commandLine, milliseconds timeout)
{
    const std::size_t from = LineCount();
    Write(std::string(commandLine) + "\n");
    const auto at = WaitForLine("{\"result\"", from, timeout);
    if (!at)
        return std::nullopt;
    return Line(*at);
}

std::optional<int> Child::WaitForExit(milliseconds timeout)
{
    if (m_status)
        return m_status;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return m_status;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        // There is no descriptor to wait on for a child's exit; a short nap bounds the cost.
        usleep(10000);
    }
}

std::size_t StatusKiB(pid_t pid, std::string_view field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() && line[field.size()] == ':')
            return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return 0;
}

std::size_t Child::PeakRssKiB() const { return StatusKiB(m_pid, "VmHWM"); }

std::size_t Child::RssKiB() const { return StatusKiB(m_pid, "VmRSS"); }

double Child::CpuSeconds() const
{
    std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    const std::size_t close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::size_t Child::OpenFiles() const
{
    std::size_t n = 0;
    if (DIR* d = opendir(("/proc/" + std::to_string(m_pid) + "/fd").c_str())) {
        while (const dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

void LimitSanitizerQuarantine()
{
    const char* old = std::getenv("ASAN_OPTIONS");
    std::string options = old ? old : "";
    if (options.find("quarantine_size_mb") == std::string::npos)
        options += std::string(options.empty() ? "" : ":") + "quarantine_size_mb=4";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

} // namespace hostile
