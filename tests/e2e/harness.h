#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QProcess>
#include <QStringList>

#include <nlohmann/json.hpp>

namespace e2e {

using Json = nlohmann::ordered_json;

/// How long any expected line may take. Generous: it bounds a failure, it is not a pause.
inline constexpr int WaitMs = 10000;

/// Runs the event loop until `done` holds or `timeoutMs` passes; true when it holds. Wakes on
/// every line a child process prints and on anything a scripted server sees, never on a timer.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = WaitMs);
/// Tells a running WaitUntil to look at its condition again.
void Progress();

/// Records event names seen over real TCP in this test, for the coverage check.
void RecordEvents(const std::set<std::string>& names);

/// A tocd on 127.0.0.1, a free port; killed when this goes.
class Tocd {
public:
    explicit Tocd(const QStringList& extraArguments = {});
    ~Tocd();
    Tocd(const Tocd&) = delete;
    Tocd& operator=(const Tocd&) = delete;

    /// "127.0.0.1:<port>".
    std::string Address() const { return m_address; }
    int Port() const { return m_port; }

private:
    QProcess m_process;
    std::string m_address;
    int m_port = 0;
};

/// One toc-cli process and everything it printed. Expectations search the printed events in
/// order: each one starts after the line the previous one matched.
class Cli {
public:
    Cli(const std::string& server, const std::string& name, const std::string& password,
        const std::optional<std::string>& profile = std::nullopt);
    ~Cli();
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;

    /// Writes one command line, e.g. Send({"SendIM", "bob", "hi"}).
    void Send(const Json& command);
    void SendRaw(const std::string& line);
    void CloseInput();

    /// The next event called `name` (whose args satisfy `match`, if given); fails the test and
    /// returns null when none comes in time.
    Json Expect(const std::string& name, const std::function<bool(const Json& args)>& match = {});
    /// The next event called `name` with exactly these args.
    Json ExpectArgs(const std::string& name, const Json& args);
    /// The next non-event line ({"result": ...} or {"error": ...}).
    Json ExpectReply();
    /// Signed on: ScreennameFormat then LoggedIn; returns LoggedIn's args.
    Json ExpectSignOn();
    /// Signed on and visible to others: the server has had toc_init_done, which the control sends
    /// only after LoggedIn has been printed. Returns LoggedIn's args.
    Json ExpectOnline();

    /// Names of the events that are not IncomingPacket, in order, from line `from` on.
    std::vector<std::string> EventNames(std::size_t from = 0) const;
    const std::vector<Json>& Lines() const { return m_lines; }
    std::size_t Cursor() const { return m_cursor; }

    /// Exit status once finished; nullopt when it does not end in time.
    std::optional<int> WaitForExit(int timeoutMs = WaitMs);

private:
    void readOutput();
    std::optional<std::size_t> find(const std::function<bool(const Json&)>& match, std::size_t from) const;
    std::string tail() const;

    QProcess m_process;
    std::string m_name;
    std::string m_partial;
    std::vector<Json> m_lines;
    std::size_t m_cursor = 0;
    std::set<std::string> m_seen;
};

} // namespace e2e
