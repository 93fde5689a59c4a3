#include <chrono>
#include <cstdio>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include "toc/qt/qtsocket.h"
#include "tools/bytejson.h"
#include "tools/clisession.h"
#include "tools/password.h"
#include "tools/serveraddress.h"
#include "tools/stdinreader.h"

namespace {

// A SendPacket of 65,535 bytes written as \u00XX escapes is under 400 KB; nothing longer is a command.
constexpr std::size_t MaxLineBytes = 1 << 20;

const char* const HelpText = R"(Signs an account on to a TOC2 server and keeps it online, without windows.

Every event of the control is printed on stdout as one JSON line,
  {"event":"LoggedIn","args":[...]}
with the arguments in the event's parameter order: text as strings whose
characters U+0000..U+00FF are the bytes received, lists as arrays, numbers,
booleans. IncomingPacket is printed too, for every frame received, with the
whole frame (header included) as its one argument.

Each line on stdin is a JSON array naming a public method of the control and
its arguments, e.g.
  ["SendIM", "bob", "hello", false]
  ["JoinChat", "room", 4]
Optional trailing arguments may be left out. Text arguments are one byte per
character (U+0000..U+00FF); to send UTF-8, write its bytes as such characters.
RemoveHtml, GetChatName and LastChatID print {"result": ...}. A line that
cannot be run prints {"error": "..."} and does nothing else. Lines that come
before the first sign-on has completed wait for it, then run in order; so
  echo '["SendIM", "bob", "hi"]' | toc-cli ...
signs on, sends the IM and exits.

Commands are paced to the server's rate limits: what would be dropped for
speed waits and goes out, in order, as soon as the server allows (7 IMs at
once from rest, then about one every 4 s; fewer with a warning level, which
toc-cli asks the server at each sign-on). Nothing is refused for waiting:
once 256 commands wait, toc-cli stops reading its input until one has gone,
so a writer blocks instead of losing lines. toc-cli ends only once they
have gone, and Login waits for them too; so does LogOff while signed on. A
command that can never go (LogOff while it waited, or retrying stopped)
prints {"error": "not sent, ..."} with the line.

The password is the first line of --password-file FILE (a file only its
owner may read: chmod 600), or the environment variable TOC_PASSWORD, or
--password; it is never printed. The screen name, password and profile
given here are sent as UTF-8. With
--profile the profile is set at each sign-on and every 60 s after it.
Keep-alives from the server are answered.

A lost connection is printed as WinsockError and toc-cli signs on again,
printing before each attempt
  {"event":"Reconnecting","args":[ATTEMPT, DELAY_MS, "LAST ERROR"]}
The n-th attempt in a row waits 2^(n-1) s, at most 5 min, less a random
part of up to half; longer after the server's sign-on limiter (983, from
1 min doubling to 10 min) or warning refusal (982, 10 min). Attempts are in
a row until a sign-on holds for 60 s: the next loss after that starts again
at attempt 1. A connection that stays silent for 60 s is asked for the
account's own profile, ahead of any waiting command; no answer within 30 s
counts as lost. Once signed on again it sets again what the commands had
set (profile, away message, idle time, capabilities, a password changed
with ChangePassword) and rejoins every chat room it was in, under the
name the server gave it. Commands written while reconnecting wait, and run
in order once signed on; LogOff while reconnecting stops at once. A Login
line is a new sign-on: the lines after it wait for it.

Exit status:
  0  after LogOff, or at the end of stdin (once the first sign-on is done
     and the commands waiting for a sign-on have run)
  1  with --no-reconnect: the connection failed or closed before the first
     sign-on completed; after a sign-on a lost connection is printed as
     WinsockError and toc-cli keeps running, so the script may Login again
  2  bad arguments
  3  the server refused the screen name or password (ERROR:980): trying
     again cannot help, so toc-cli stops (Error then exit))";

std::optional<std::string> required(const QCommandLineParser& parser, const QString& name)
{
    if (!parser.isSet(name))
        return std::nullopt;
    return parser.value(name).toStdString();
}

int usageError(const QString& message)
{
    std::fprintf(stderr, "toc-cli: %s\nTry 'toc-cli --help'.\n", message.toLocal8Bit().constData());
    return tocli::ExitBadArguments;
}

void writeLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Commands written just before the end are still in the socket's buffer when the event loop
// stops; hand them to the kernel before the socket is destroyed. Bounded, so a peer that does not
// read cannot hold toc-cli.
void drainWrites(QObject& socket)
{
    for (auto* tcp : socket.findChildren<QTcpSocket*>()) {
        if (tcp->state() == QAbstractSocket::ConnectedState) {
            while (tcp->bytesToWrite() > 0 && tcp->waitForBytesWritten(5000)) { }
        } else if (tcp->state() == QAbstractSocket::ClosingState) {
            tcp->waitForDisconnected(5000);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("toc-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RIVIR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(HelpText));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        { QStringLiteral("server"), QStringLiteral("TOC server to connect to."), QStringLiteral("HOST:PORT") },
        { QStringLiteral("screen-name"), QStringLiteral("Screen name to sign on."), QStringLiteral("NAME") },
        { QStringLiteral("password-file"), QStringLiteral("Read the password from the first line of FILE."),
          QStringLiteral("FILE") },
        { QStringLiteral("password"),
          QStringLiteral("Password of the screen name. Other users can see it with ps: prefer --password-file "
                         "or TOC_PASSWORD."),
          QStringLiteral("PASSWORD") },
        { QStringLiteral("profile"), QStringLiteral("Profile to set at sign-on and every 60 s."),
          QStringLiteral("TEXT") },
        { QStringLiteral("no-reconnect"),
          QStringLiteral("Do not sign on again after a lost connection; a failed first sign-on ends toc-cli.") },
    });
    // For tests: how soon a silent connection is probed and given up, and a sign-on timed out.
    QCommandLineOption livenessOption(QStringLiteral("liveness-ms"), QStringLiteral("QUIET,ANSWER,SIGNON"),
                                      QStringLiteral("MS,MS,MS"));
    livenessOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(livenessOption);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(tocli::ExitOk);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const auto server = required(parser, QStringLiteral("server"));
    const auto name = required(parser, QStringLiteral("screen-name"));
    if (!server || !name)
        return usageError(QStringLiteral("--server and --screen-name are required"));
    tocli::PasswordSources sources { required(parser, QStringLiteral("password")),
                                     required(parser, QStringLiteral("password-file")), std::nullopt };
    if (!qEnvironmentVariableIsEmpty("TOC_PASSWORD"))
        sources.environment = qgetenv("TOC_PASSWORD").toStdString();
    const tocli::PasswordResult password = tocli::ReadPassword(sources);
    if (!password.password)
        return usageError(QString::fromStdString(password.error));
    const auto address = tocli::ParseServerAddress(*server);
    if (!address)
        return usageError(QStringLiteral("--server wants HOST:PORT with a port from 1 to 65535, not '%1'")
                              .arg(QString::fromStdString(*server)));
    if (name->empty())
        return usageError(QStringLiteral("--screen-name is empty"));

    tocli::CliOptions options;
    options.host = address->host;
    options.port = address->port;
    options.screenName = *name;
    options.password = *password.password;
    options.profile = required(parser, QStringLiteral("profile"));
    options.reconnect = !parser.isSet(QStringLiteral("no-reconnect"));
    if (parser.isSet(livenessOption)) {
        const QStringList parts = parser.value(livenessOption).split(QLatin1Char(','));
        std::vector<int> ms;
        for (const QString& part : parts) {
            bool ok = false;
            ms.push_back(part.toInt(&ok));
            if (!ok || ms.back() <= 0)
                return usageError(QStringLiteral("--liveness-ms wants three positive numbers"));
        }
        if (ms.size() != 3)
            return usageError(QStringLiteral("--liveness-ms wants three positive numbers"));
        options.liveness = { std::chrono::milliseconds(ms[2]), std::chrono::milliseconds(ms[0]),
                             std::chrono::milliseconds(ms[1]) };
    }

    // Replies to stdin quote what came in there; a password pasted there by mistake stays hidden.
    auto out = [secret = options.password](const std::string& line) {
        writeLine(line.starts_with("{\"event\"") ? line : tocli::HidePassword(line, secret));
    };
    auto tcp = std::make_unique<toc::QtSocket>();
    QObject& socketObject = *tcp;
    tocli::CliSession session(std::move(options), std::move(tcp), out,
                              [](int status) { QCoreApplication::exit(status); });
    tocli::StdinReader input(0, MaxLineBytes,
                             { [&session](std::string_view line) { session.HandleLine(line); },
                               [&session] { session.HandleOverlongLine(); },
                               [&session] { session.HandleEndOfInput(); }, [&session] { return session.Full(); } });
    session.onRoom = [&input] { input.Resume(); };
    // Everything, the sign-on included, happens inside the event loop, so an early end can exit it.
    QTimer::singleShot(0, &app, [&session] { session.Start(); });
    const int status = app.exec();
    input.Stop();
    drainWrites(socketObject);
    return status;
}
