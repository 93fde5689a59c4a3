#include "tools/conversationlog.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/bytejson.h"

namespace tocli {

namespace {

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF)
            length = 1;
        else if (c >= 0xE0 && c <= 0xEF) {
            length = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            high = c == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (s.size() - i <= length)
            return false;
        for (std::size_t k = 1; k <= length; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length + 1;
    }
    return true;
}

std::string asUtf8(std::string_view bytes)
{
    return validUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

constexpr std::array<std::pair<std::string_view, std::string_view>, 7> Entities { {
    { "&amp;", "&" }, { "&lt;", "<" }, { "&gt;", ">" }, { "&quot;", "\"" }, { "&apos;", "'" }, { "&#39;", "'" },
    { "&nbsp;", " " } } };

// One line of text: no terminal controls, line breaks shown as \n.
void appendVisible(std::string& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            out += "\\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\t') {
            out += '\t';
        } else if (c < 0x20 || c == 0x7F) {
            out += ' ';
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            out += ' '; // a C1 control, which some terminals obey
            ++i;
        } else {
            out += text[i];
        }
    }
}

} // namespace

std::string LogText(std::string_view bytes)
{
    const std::string text = asUtf8(bytes);
    std::string plain;
    plain.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        const std::string_view rest = std::string_view(text).substr(pos);
        if (c == '<') {
            const std::size_t close = rest.find('>');
            if (close == std::string_view::npos) {
                plain += rest;
                break;
            }
            if (startsWithNoCase(rest, "<br") && (close == 3 || rest[3] == ' ' || rest[3] == '/'))
                plain += '\n';
            pos += close + 1;
            continue;
        }
        if (c == '&') {
            const auto entity = std::find_if(Entities.begin(), Entities.end(),
                                             [&](const auto& e) { return startsWithNoCase(rest, e.first); });
            if (entity != Entities.end()) {
                plain += entity->second;
                pos += entity->first.size();
                continue;
            }
        }
        plain += c;
        ++pos;
    }
    std::string out;
    out.reserve(plain.size());
    appendVisible(out, plain);
    return out;
}

ConversationLog::ConversationLog(std::string dir, LocalClock clock)
    : m_dir(std::move(dir))
    , m_clock(std::move(clock))
{
}

void ConversationLog::Received(std::string_view name, std::string_view text)
{
    write(LogText(name) + ": " + LogText(text));
}

void ConversationLog::Sent(std::string_view name, std::string_view text, bool automatic)
{
    write("-> " + LogText(name) + (automatic ? " (auto): " : ": ") + LogText(text));
}

void ConversationLog::Chat(std::string_view room, std::string_view name, std::string_view text)
{
    write("[" + LogText(room) + "] " + LogText(name) + ": " + LogText(text));
}

void ConversationLog::Note(std::string_view what) { write(what); }

void ConversationLog::write(std::string_view what)
{
    const std::tm t = m_clock();
    char day[40];
    char time[40];
    std::snprintf(day, sizeof day, "/%04d-%02d-%02d.log", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d ", t.tm_hour, t.tm_min, t.tm_sec);
    std::string line = time;
    line += what;
    line += '\n';
    std::string why;
    const bool written = append(m_dir + day, line, why);
    if (!why.empty() && !m_failing && onFailure)
        onFailure(why);
    m_failing = !written;
}

bool ConversationLog::append(const std::string& file, const std::string& line, std::string& why)
{
    // A removed directory is made again, so no line is lost, and said once, as a failure is.
    struct stat st {};
    if (::stat(m_dir.c_str(), &st) != 0 && errno == ENOENT) {
        std::string path;
        for (std::size_t slash = 0; slash != std::string::npos;) {
            slash = m_dir.find('/', slash + 1);
            path = m_dir.substr(0, slash);
            if (!path.empty() && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
                why = path + ": " + std::strerror(errno);
                return false;
            }
        }
        if (std::exchange(m_existed, true))
            why = m_dir + " was removed; made again";
    }
    m_existed = true;
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        why = file + ": " + std::strerror(errno);
        return false;
    }
    const bool known = ::fstat(fd, &st) == 0;
    if (known && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    const ssize_t n = ::write(fd, line.data(), line.size());
    const int error = n < 0 ? errno : ENOSPC;
    // Half a line would run into the next one written once there is room again.
    if (n > 0 && n < static_cast<ssize_t>(line.size()) && known) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, st.st_size);
    }
    const bool closed = ::close(fd) == 0;
    if (n == static_cast<ssize_t>(line.size()) && closed)
        return true;
    why = file + ": " + std::strerror(n == static_cast<ssize_t>(line.size()) ? errno : error);
    return false;
}

} // namespace tocli
