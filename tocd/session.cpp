#include "tocd/session.h"

#include <algorithm>
#include <optional>

#include "tocd/arguments.h"
#include "tocd/hex.h"
#include "tocd/http.h"
#include "tocd/service.h"

namespace tocd {

namespace {

    constexpr std::string_view greetingLf = "FLAPON\n\n";
    constexpr std::string_view greetingCrLf = "FLAPON\r\n\r\n";
    // Frame type 1, sequence 0, length 4, FLAP version 1.
    constexpr std::string_view signonFrame("*\x01\x00\x00\x00\x04\x00\x00\x00\x01", 10);

    constexpr std::uint8_t signonType = 1;
    constexpr std::uint8_t dataType = 2;
    constexpr std::uint8_t signoffType = 4;
    constexpr std::uint8_t keepAliveType = 5;

    // Roasting is an XOR with a repeating key, so roasting the decoded bytes again gives them back.
    // Both versions roast alike.
    std::optional<std::string> unroast(std::string_view roasted)
    {
        constexpr std::string_view key = "Tic/Toc";
        if (roasted.size() < 2 || roasted[0] != '0' || (roasted[1] != 'x' && roasted[1] != 'X'))
            return std::nullopt;
        roasted.remove_prefix(2);
        if (roasted.size() % 2 != 0)
            return std::nullopt;
        std::string plain;
        plain.reserve(roasted.size() / 2);
        for (std::size_t i = 0; i < roasted.size(); i += 2) {
            const int hi = hexValue(roasted[i]);
            const int lo = hexValue(roasted[i + 1]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            plain += static_cast<char>((hi * 16 + lo) ^ key[(i / 2) % key.size()]);
        }
        return plain;
    }

} // namespace

Session::Session(Service& service, SessionSink* sink)
    : m_service(service)
    , m_sink(sink)
{
}

Session::~Session()
{
    m_state = State::Ended;
    if (m_account)
        m_service.signOff(*this);
}

bool Session::receive(std::string_view bytes)
{
    if (m_state == State::Ended)
        return false;
    if ((m_state == State::Sniffing || m_state == State::Greeting) && !handleGreeting(bytes))
        return false;
    if (bytes.empty())
        return true;
    if (m_state == State::Http)
        return handleHttp(bytes);
    return handleFrames(bytes);
}

void Session::disconnect()
{
    if (m_state == State::Ended && !m_account)
        return;
    m_state = State::Ended;
    m_reader.Clear();
    std::string().swap(m_pending);
    if (m_account)
        m_service.signOff(*this);
}

void Session::end()
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_reader.Clear();
    std::string().swap(m_pending);
    if (m_account)
        m_service.signOff(*this);
    if (m_sink)
        m_sink->close();
}

void Session::keepAlive()
{
    if (m_account && m_state == State::SignedOn)
        sendFrame(keepAliveType, {});
}

void Session::sendMessage(std::string_view payload)
{
    if (payload.size() > 0xffff)
        payload = payload.substr(0, 0xffff);
    if (payload.find('\0') == std::string_view::npos) {
        sendFrame(dataType, payload);
        return;
    }
    std::string clean(payload);
    clean.erase(std::remove(clean.begin(), clean.end(), '\0'), clean.end());
    sendFrame(dataType, clean);
}

void Session::sendFrame(std::uint8_t type, std::string_view payload)
{
    if (!m_sink || m_state == State::Ended)
        return;
    m_sink->write(toc::BuildFlapFrame(type, m_sequence++, payload));
}

bool Session::handleGreeting(std::string_view& bytes)
{
    while (!bytes.empty()) {
        m_pending += bytes.front();
        bytes.remove_prefix(1);
        if (m_pending == greetingLf || m_pending == greetingCrLf) {
            std::string().swap(m_pending);
            m_state = State::AwaitSignon;
            if (m_sink)
                m_sink->write(signonFrame);
            m_sequence = 1;
            return true;
        }
        if (greetingLf.starts_with(m_pending) || greetingCrLf.starts_with(m_pending)) {
            if (m_pending.size() == 4)
                m_state = State::Greeting;
            continue;
        }
        if (m_state == State::Sniffing) {
            // Not a FLAP client: a browser asking for a profile page.
            m_state = State::Http;
            return true;
        }
        end();
        return false;
    }
    return true;
}

bool Session::handleHttp(std::string_view bytes)
{
    const std::size_t searchFrom = m_pending.size() < 3 ? 0 : m_pending.size() - 3;
    const std::size_t room
        = MaxHttpRequestHead + 1 - std::min(m_pending.size(), MaxHttpRequestHead + 1);
    m_pending.append(bytes.data(), std::min(bytes.size(), room));
    const std::size_t headEnd
        = std::min(m_pending.find("\r\n\r\n", searchFrom), m_pending.find("\n\n", searchFrom));
    if (headEnd == std::string::npos && m_pending.size() <= MaxHttpRequestHead)
        return true;
    if (m_sink)
        m_sink->write(headEnd == std::string::npos
                ? HttpHeadTooLarge()
                : HttpResponse(std::string_view(m_pending).substr(0, headEnd), m_service));
    end();
    return false;
}

bool Session::handleFrames(std::string_view bytes)
{
    // Cut only up to the header of a frame that is too long, then refuse the client.
    std::size_t acceptable = bytes.size();
    bool refused = false;
    for (std::size_t i = 0; i < bytes.size();) {
        if (m_headerSkip > 0) {
            const std::size_t step = std::min(m_headerSkip, bytes.size() - i);
            m_headerSkip -= step;
            i += step;
            continue;
        }
        const std::size_t start = i;
        while (m_headerHave < toc::FlapHeaderSize && i < bytes.size())
            m_header[m_headerHave++] = bytes[i++];
        if (m_headerHave < toc::FlapHeaderSize)
            break;
        m_headerHave = 0;
        m_headerSkip = static_cast<std::size_t>(static_cast<unsigned char>(m_header[4])) << 8
            | static_cast<unsigned char>(m_header[5]);
        if (m_headerSkip > MaxClientPayload) {
            acceptable = start;
            refused = true;
            break;
        }
    }
    const bool alive = m_reader.Feed(
        bytes.substr(0, acceptable), [this](std::string_view frame) { return handleFrame(frame); });
    if (alive && refused)
        end();
    return m_state != State::Ended;
}

bool Session::handleFrame(std::string_view frame)
{
    const auto type = static_cast<std::uint8_t>(frame[1]);
    const std::string_view payload = frame.substr(toc::FlapHeaderSize);
    switch (m_state) {
    case State::AwaitSignon:
        // The client's SIGNON frame repeats its name, which the login command names again.
        if (type == signonType)
            m_state = State::AwaitLogin;
        else if (type != keepAliveType)
            end();
        break;
    case State::AwaitLogin:
        if (type == dataType)
            handleLogin(payload);
        else if (type != keepAliveType)
            end();
        break;
    case State::SignedOn:
        if (type == dataType) {
            std::optional<std::vector<std::string>> words = ParseArguments(payload);
            if (!words)
                sendMessage("ERROR:911");
            else if (!words->empty())
                m_service.command(*this, *words);
        } else if (type != keepAliveType) {
            // A sign-off frame is a polite goodbye; anything else is a broken client.
            end();
        }
        break;
    default:
        break;
    }
    return m_state != State::Ended;
}

void Session::handleLogin(std::string_view payload)
{
    const std::optional<std::vector<std::string>> words = ParseArguments(payload);
    std::optional<std::string> password;
    // toc_signon <host> <port> <name> <roasted password> <language> <version>, and the two
    // TOC2 sign-ons with the same four first arguments.
    if (words && words->size() >= 5) {
        const std::string& word = (*words)[0];
        if (word == "toc_signon" || word == "toc2_signon" || word == "toc2_login")
            password = unroast((*words)[4]);
        m_dialect = word == "toc_signon" ? Dialect::Toc1
            : word == "toc2_signon"      ? Dialect::Toc2Signon
                                         : Dialect::Toc2;
    }
    if (!password) {
        sendMessage("ERROR:913:internal server error");
        end();
        return;
    }
    m_state = State::SignedOn;
    const Service::LoginResult result = m_service.login(*this, (*words)[3], *password);
    if (result != Service::LoginResult::Ok) {
        sendMessage(result == Service::LoginResult::TooSoon ? "ERROR:983" : "ERROR:980");
        end();
    }
}

} // namespace tocd
