#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "toc/encoding.h"
#include "toc/fields.h"
#include "toc/orbtocsock.h"

namespace toc {

namespace {
    // A server that never ends its configuration must not grow memory without bound; real
    // configurations are a few kilobytes.
    constexpr std::size_t MaxConfigBuffer = std::size_t { 1 } << 20;
    constexpr std::string_view ConfigPrefix = "CONFIG2:";
    constexpr std::string_view EndMarker = "done:\n";

    bool startsWith(std::string_view line, std::string_view prefix)
    {
        return line.substr(0, prefix.size()) == prefix;
    }

    std::string replaceAll(std::string_view text, std::string_view from, std::string_view to)
    {
        std::string out;
        out.reserve(text.size());
        for (std::size_t at = text.find(from); at != std::string_view::npos; at = text.find(from)) {
            out.append(text.substr(0, at));
            out.append(to);
            text.remove_prefix(at + from.size());
        }
        out.append(text);
        return out;
    }

    struct Configuration {
        std::vector<std::string> buddies;
        std::vector<std::string> blocked;
        std::vector<std::string> permitted;
        std::vector<std::string> misc;
        std::string preferences;
        std::int16_t privacyMode = 0;
        bool ended = false;
    };

    // Reads whole lines until the end marker. A last piece without a line feed can only follow a
    // marker that stood inside a line; it is dropped.
    Configuration parseConfiguration(std::string_view text)
    {
        Configuration config;
        while (!text.empty()) {
            const std::size_t lf = text.find('\n');
            if (lf == std::string_view::npos)
                break;
            const std::string_view line = text.substr(0, lf);
            text.remove_prefix(lf + 1);
            if (startsWith(line, "g:")) {
                config.buddies.push_back("[group]" + std::string(line.substr(2)));
            } else if (startsWith(line, "b:")) {
                config.buddies.push_back(replaceAll(line.substr(2), ":::::", ":"));
            } else if (startsWith(line, "d:")) {
                config.blocked.emplace_back(line.substr(2));
            } else if (startsWith(line, "pref:")) {
                config.preferences = line.substr(5);
            } else if (startsWith(line, "p:")) {
                config.permitted.emplace_back(line.substr(2));
            } else if (startsWith(line, "m:")) {
                // One character only: "m:12" is mode 1.
                if (line.size() > 2 && line[2] >= '0' && line[2] <= '9')
                    config.privacyMode = static_cast<std::int16_t>(line[2] - '0');
            } else if (startsWith(line, "done:")) {
                config.ended = true;
                break;
            } else {
                config.misc.emplace_back(line);
            }
        }
        return config;
    }
}

void OrbTOCSock::answerSignOn()
{
    std::string signOn("\x00\x00\x00\x01\x00\x01", 6);
    signOn += WordToBytes(static_cast<std::int32_t>(mUserName.size()));
    signOn += mUserName;
    SendPacket(1, std::move(signOn));

    std::string login = "toc2_login ";
    login += mAuthServer;
    login += ' ';
    login += std::to_string(mPort);
    login += ' ';
    login += mUserName;
    login += ' ';
    login += mPassword;
    login += " English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917";
    SendPacket(2, std::move(login));
}

void OrbTOCSock::handleNick(std::string_view payload)
{
    const FieldList f = splitFields(payload, 2);
    if (!f.has(1))
        return;
    mFormattedName = f[1];
    const std::string formatted(f[1]);
    raise([&](OrbTOCSockEvents& h) { h.ScreennameFormat(formatted); });
}

void OrbTOCSock::handleConfig2(std::string_view payload)
{
    const std::string_view text = payload.substr(std::min(payload.size(), ConfigPrefix.size()));
    // Only this message is searched: a marker split across two messages is not one.
    if (text.find(EndMarker) == std::string_view::npos) {
        if (mConfigBuffer.size() + text.size() > MaxConfigBuffer)
            mConfigBuffer.clear();
        mConfigBuffer.append(text);
        return;
    }

    std::string whole;
    whole.swap(mConfigBuffer);
    whole.append(text);
    const Configuration config = parseConfiguration(whole);

    if (config.ended) {
        const std::uint64_t generation = mGeneration;
        const std::string userName = mUserName;
        raise([&](OrbTOCSockEvents& h) {
            h.LoggedIn(userName, config.buddies, config.blocked, config.permitted, config.misc, config.preferences,
                       config.privacyMode);
        });
        // The handler signed off or on again: this sign-on is over, and the next one must not
        // hear about it.
        if (mGeneration != generation)
            return;
    }
    SendPacket(2, "toc_init_done");
}

} // namespace toc
