#pragma once

#include <optional>
#include <string>

namespace tocli {

/// Where toc-cli may find the password: --password (seen by everyone through ps), --password-file,
/// or TOC_PASSWORD. The command line wins over the environment.
struct PasswordSources {
    std::optional<std::string> argument;
    std::optional<std::string> file;
    std::optional<std::string> environment;
};

struct PasswordResult {
    std::optional<std::string> password;
    std::string error; ///< for stderr when there is no password; never contains it
};

PasswordResult ReadPassword(const PasswordSources& sources);

/// The first line of a file only its owner may read or write, as ssh insists for keys.
PasswordResult ReadPasswordFile(const std::string& path);

/// `line` with every appearance of the password, raw or as a JSON string would write it, masked.
std::string HidePassword(std::string line, const std::string& password);

} // namespace tocli
