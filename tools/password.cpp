#include "tools/password.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

namespace tocli {

namespace {

    PasswordResult failure(std::string message) { return { std::nullopt, std::move(message) }; }

    void maskAll(std::string& line, const std::string& secret)
    {
        static const std::string mask = "********";
        for (std::size_t at = line.find(secret); at != std::string::npos;
             at = line.find(secret, at + mask.size()))
            line.replace(at, secret.size(), mask);
    }

} // namespace

PasswordResult ReadPassword(const PasswordSources& sources)
{
    if (sources.argument && sources.file)
        return failure("give the password with --password-file or --password, not both");
    if (sources.file)
        return ReadPasswordFile(*sources.file);
    if (sources.argument)
        return { sources.argument, {} };
    if (sources.environment)
        return { sources.environment, {} };
    return failure("no password: give --password-file FILE, set TOC_PASSWORD, or give --password");
}

PasswordResult ReadPasswordFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failure("cannot open the password file '" + path + "': " + std::strerror(errno));
    // Checked on the open file, so it cannot be swapped between the check and the read. A pipe
    // (--password-file <(pass show ...)) is its owner's alone.
    struct stat st { };
    std::string content;
    std::string error;
    if (::fstat(fd, &st) != 0) {
        error = std::string("cannot read the password file: ") + std::strerror(errno);
    } else if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = std::string("permissions ") + mode + " for the password file '" + path
            + "' are too open: other users may read it. It is refused; run chmod 600 '" + path
            + "'";
    } else {
        char buffer[4096];
        ssize_t n = 0;
        while (
            content.find('\n') == std::string::npos && (n = ::read(fd, buffer, sizeof buffer)) > 0)
            content.append(buffer, static_cast<std::size_t>(n));
        if (n < 0)
            error = "cannot read the password file '" + path + "': " + std::strerror(errno);
    }
    ::close(fd);
    content.erase(std::min(content.find('\n'), content.size()));
    if (!content.empty() && content.back() == '\r')
        content.pop_back();
    if (error.empty() && content.empty())
        error = "the first line of the password file '" + path + "' is empty";
    return error.empty() ? PasswordResult { std::move(content), {} } : failure(std::move(error));
}

std::string HidePassword(std::string line, const std::string& password)
{
    if (password.empty())
        return line;
    maskAll(line, password);
    // Error lines write text as JSON does: quotes, backslashes and control bytes escaped.
    std::string escaped
        = nlohmann::json(password).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    escaped = escaped.substr(1, escaped.size() - 2);
    if (escaped != password)
        maskAll(line, escaped);
    return line;
}

} // namespace tocli
