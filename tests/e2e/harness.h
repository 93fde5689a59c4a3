#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QProcess>
#include <QStringList>

#include <nlohmann/json.hpp>

namespace e2e {

using Json = nlohmann::ordered_json;

/// How long any expected line may take. Generous: it bounds a failure, it is not a pause. Waits
/// block on the one process or socket they concern; the others' output queues in their pipes.
inline constexpr int WaitMs = 30000;

/// Kills `process` if it still runs.
void Stop(QProcess& process);

/// A tocd on 127.0.0.1, a free port; killed when this goes.
class Tocd {
public:
    explicit Tocd(const QStringList& extraArguments = {});
    ~Tocd() { Stop(m_process); }

    /// "127.0.0.1:<port>".
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int Port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

/// One toc-cli process and everything it printed. Expectations search the printed lines in
/// order: each one starts after the line the previous one matched.
class Cli {
public:
    Cli(const std::string& server, const std::string& name, const std::string& password,
        const std::optional<std::string>& profile = std::nullopt);
    ~Cli() { Stop(m_process); }

    /// Writes one command line, e.g. Send({"SendIM", "bob", "hi"}).
    void Send(const Json& command) { SendRaw(command.dump()); }
    void SendRaw(const std::string& line);
    void CloseInput() { m_process.closeWriteChannel(); }

    /// The next event called `name` (whose args satisfy `match`, if given); fails the test and
    /// returns null when none comes in time.
    Json Expect(const std::string& name, const std::function<bool(const Json& args)>& match = {});
    /// The next event called `name` with exactly these args.
    Json ExpectArgs(const std::string& name, const Json& args)
    {
        return Expect(name, [&](const Json& a) { return a == args; });
    }
    /// The next non-event line ({"result": ...} or {"error": ...}).
    Json ExpectReply();
    /// Signed on and visible to others: the server has had toc_init_done, which the control sends
    /// only after LoggedIn has been printed. Returns LoggedIn's args.
    Json ExpectOnline();

    /// Names of the events that are not IncomingPacket, in order.
    std::vector<std::string> EventNames();
    /// Exit status once finished; nullopt when it does not end in time.
    std::optional<int> WaitForExit();

private:
    void readOutput();
    Json take(const std::function<bool(const Json&)>& match, const std::string& what);

    QProcess m_process;
    std::string m_name;
    std::string m_partial;
    std::vector<Json> m_lines;
    std::size_t m_cursor = 0;
};

/// A tocd with alice and bob signed on and visible to each other.
struct TwoOnline {
    explicit TwoOnline(const QStringList& tocdArguments = {})
        : tocd(tocdArguments)
    {
        alice.ExpectOnline();
        bob.ExpectOnline();
    }
    Tocd tocd;
    Cli alice { tocd.Address(), "alice", "pw" };
    Cli bob { tocd.Address(), "bob", "pw" };
};

} // namespace e2e
