#include <chrono>
#include <cstdio>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include "toc/qt/livenessoption.h"
#include "toc/qt/qtsocket.h"
#include "toc/qt/systemwatcher.h"
#include "tools/attach.h"
#include "tools/bytejson.h"
#include "tools/clisession.h"
#include "tools/controlserver.h"
#include "tools/password.h"
#include "tools/serveraddress.h"
#include "tools/stdinreader.h"
#include "tools/stopsignals.h"
#include "tools/systemdnotifier.h"

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

Away: with --away TEXT (or ["SetAwayMessage", TEXT]) the away message is
set at every sign-on, and an IM from someone else gets it back as an
automatic answer, at most once per sender (case and spaces ignored) every
--auto-reply-every seconds (600; 0 never answers), printed as
  {"event":"AutoReplied","args":[SENDER, TEXT]}
In the answer %n is the sender, %d the date (YYYY-MM-DD), %t the time (HH:MM)
and %% a %. Automatic answers, chat messages and oneself are never
answered; a new away message starts afresh, an empty one stops answering.

Log: with --log-dir DIR every IM received or sent, every chat message and
each sign-on, lost connection and sign-off is a line of DIR/YYYY-MM-DD.log
(local day; the directory 0700, the files 0600), markup removed, one line
per message. A log that cannot be written prints {"error": "log: ..."} once
and is tried again with the next line.

Control: with --control PATH toc-cli listens on a Unix socket (0600) that
speaks what stdin and stdout speak, to several programs of the same user at
once; results and errors go to the one that asked, events to all. The end
of stdin no longer ends toc-cli then: LogOff or a signal does.
  toc-cli --attach PATH
talks to such a socket from a terminal or a script.

SIGTERM and SIGINT end toc-cli as LogOff does: commands held for the rate
limits get 10 s to go out, each one left is printed as {"error": ...}.

Everyday use, with the user unit toc-cli@NAME:
  set away      TOC_AWAY=... in ~/.config/toc-cli/NAME.conf, or at once:
                echo '["SetAwayMessage", "At lunch until two, %n"]' |
                  toc-cli --attach $XDG_RUNTIME_DIR/toc-cli/NAME.sock
  today's log   cat ~/.local/state/toc-cli/NAME/$(date +%F).log
  attach        toc-cli --attach $XDG_RUNTIME_DIR/toc-cli/NAME.sock
                (command lines in, events out; Ctrl-D leaves it running)

Exit status:
  0  after LogOff or a signal, or at the end of stdin (once the first
     sign-on is done and the commands waiting for a sign-on have run)
  1  with --no-reconnect: the connection failed or closed before the first
     sign-on completed; after a sign-on a lost connection is printed as
     WinsockError and toc-cli keeps running, so the script may Login again
  2  bad arguments, or the --control socket is in use or cannot be made;
     with --attach, nothing listens at PATH
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
        { QStringLiteral("away"), QStringLiteral("Away message to set at every sign-on and answer IMs with."),
          QStringLiteral("TEXT") },
        { QStringLiteral("auto-reply-every"),
          QStringLiteral("Answer each sender at most once per SECONDS (default 600; 0: never)."),
          QStringLiteral("SECONDS") },
        { QStringLiteral("log-dir"), QStringLiteral("Keep a conversation log, a file per day, in DIR."),
          QStringLiteral("DIR") },
        { QStringLiteral("control"), QStringLiteral("Listen for commands on a Unix socket at PATH."),
          QStringLiteral("PATH") },
        { QStringLiteral("attach"), QStringLiteral("Talk to the toc-cli listening at PATH, then exit."),
          QStringLiteral("PATH") },
    });
    const QCommandLineOption livenessOption = toc::LivenessOption();
    parser.addOption(livenessOption);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(tocli::ExitOk);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("attach")))
        return tocli::Attach(QFile::encodeName(parser.value(QStringLiteral("attach"))).toStdString());

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
    options.away = required(parser, QStringLiteral("away"));
    if (parser.isSet(QStringLiteral("auto-reply-every"))) {
        bool ok = false;
        const int seconds = parser.value(QStringLiteral("auto-reply-every")).toInt(&ok);
        if (!ok || seconds < 0)
            return usageError(QStringLiteral("--auto-reply-every wants a number of seconds, 0 or more"));
        options.autoReplyEvery = std::chrono::seconds(seconds);
    }
    if (parser.isSet(QStringLiteral("log-dir")))
        options.logDir = QFile::encodeName(parser.value(QStringLiteral("log-dir"))).toStdString();
    if (parser.isSet(livenessOption)) {
        const auto liveness = toc::ParseLivenessMs(parser.value(livenessOption));
        if (!liveness)
            return usageError(QStringLiteral("--liveness-ms wants three positive numbers"));
        options.liveness = *liveness;
    }

    // Bound before the sign-on, so a second toc-cli on the same account stops before it
    // signs the first one off.
    tocli::CliSession* sessionPtr = nullptr;
    std::unique_ptr<tocli::ControlServer> control;
    if (parser.isSet(QStringLiteral("control"))) {
        control = std::make_unique<tocli::ControlServer>(
            MaxLineBytes,
            tocli::ControlServer::Callbacks {
                [&sessionPtr, &control](tocli::ControlServer::ClientId id, std::string_view line) {
                    sessionPtr->HandleLine(line, id);
                    // The queue is full: the clients wait, as stdin does.
                    if (sessionPtr->Full())
                        control->SetReading(false);
                },
                [&sessionPtr](tocli::ControlServer::ClientId id) { sessionPtr->HandleOverlongLine(id); } });
        std::string error;
        const auto path = QFile::encodeName(parser.value(QStringLiteral("control"))).toStdString();
        if (control->Listen(path, error) != tocli::ControlServer::Outcome::Listening) {
            std::fprintf(stderr, "toc-cli: --control: %s\n", error.c_str());
            return tocli::ExitBadArguments;
        }
    }

    // Replies to stdin quote what came in there; a password pasted there by mistake stays hidden.
    tocli::SystemdNotifier systemd;
    const auto shown = [secret = options.password](const std::string& line) {
        return line.starts_with("{\"event\"") ? line : tocli::HidePassword(line, secret);
    };
    auto out = [shown, &control](const std::string& line) {
        const std::string text = shown(line);
        writeLine(text);
        if (control)
            control->Broadcast(text);
    };
    auto tcp = std::make_unique<toc::QtSocket>();
    QObject& socketObject = *tcp;
    tocli::CliSession session(std::move(options), std::move(tcp), out,
                              [](int status) { QCoreApplication::exit(status); });
    sessionPtr = &session;
    session.replyTo = [shown, &control](tocli::CliSession::Origin origin, const std::string& line) {
        if (origin == 0 || !control)
            writeLine(shown(line));
        else
            control->Send(origin, shown(line));
    };
    // With a control socket, stdin is one way in of several and its end is nobody's signal to go.
    const bool stdinEnds = !control;
    tocli::StdinReader input(0, MaxLineBytes,
                             { [&session](std::string_view line) { session.HandleLine(line); },
                               [&session] { session.HandleOverlongLine(); },
                               [&session, stdinEnds] {
                                   if (stdinEnds)
                                       session.HandleEndOfInput();
                               },
                               [&session] { return session.Full(); } });
    session.onRoom = [&input, &control] {
        input.Resume();
        if (control)
            control->SetReading(true);
    };
    tocli::StopSignals stopSignals([&session, &systemd](int) {
        systemd.Stopping();
        session.Stop();
    });
    toc::ConnectionKeeper& keeper = session.Keeper();
    // The state changes in the middle of the account's work: the line is read once it is done.
    QTimer statusUpdate;
    statusUpdate.setSingleShot(true);
    QObject::connect(&statusUpdate, &QTimer::timeout, &app, [&systemd, &keeper] { systemd.Status(tocli::StatusLine(keeper)); });
    if (systemd.Active())
        keeper.account().onStateChanged = [&statusUpdate] { statusUpdate.start(0); };
    toc::FollowSystem(keeper);
    // Everything, the sign-on included, happens inside the event loop, so an early end can exit it.
    QTimer::singleShot(0, &app, [&session, &systemd] {
        systemd.Ready("Signing on");
        session.Start();
    });
    const int status = app.exec();
    systemd.Stopping();
    input.Stop();
    drainWrites(socketObject);
    return status;
}
