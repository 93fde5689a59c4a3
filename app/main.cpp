#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string_view>

#include "app/assets.h"
#include "app/desktopnotifier.h"
#include "app/form1.h"
#include "app/form2.h"
#include "app/serveraddress.h"
#include "toc/qt/livenessoption.h"
#include "toc/qt/qtsocket.h"
#include "toc/qt/systemwatcher.h"

namespace {

// --help and --version answer without a display (man pages are made from them at build time).
bool onlyAsksForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const std::unique_ptr<QCoreApplication> application
        = onlyAsksForText(argc, argv) ? std::make_unique<QCoreApplication>(argc, argv)
                                      : std::make_unique<QApplication>(argc, argv);
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("rivir"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RIVIR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Dorvi Rivir 4.0: signs on to AIM over TOC2 and keeps the account online."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption serverOption(
        QStringLiteral("server"),
        QStringLiteral("The TOC server to sign on to, HOST or HOST:PORT (default 127.0.0.1:5190, the port "
                       "5190 when left out). Today's revival servers usually serve TOC on port 9898."),
        QStringLiteral("HOST[:PORT]"), QStringLiteral("127.0.0.1:5190"));
    parser.addOption(serverOption);
    const QCommandLineOption livenessOption = toc::LivenessOption();
    parser.addOption(livenessOption);
    parser.process(app);

    const auto server = ParseServerAddress(parser.value(serverOption));
    if (!server) {
        QTextStream(stderr) << "rivir: --server wants HOST or HOST:PORT with a port from 1 to 65535, not \""
                            << parser.value(serverOption) << "\"\n";
        return 2;
    }
    toc::LivenessSettings liveness;
    if (parser.isSet(livenessOption)) {
        const auto given = toc::ParseLivenessMs(parser.value(livenessOption));
        if (!given) {
            QTextStream(stderr) << "rivir: --liveness-ms wants three positive numbers\n";
            return 2;
        }
        liveness = *given;
    }

    QApplication::setWindowIcon(AppIcon());
    // The idler lives in its main window: closing "Incoming IMs" while the main window sits in the
    // tray must not end the program, closing the main window must.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopNotifier notifier;
    Form2::SetNotifier(&notifier);
    auto* window = new Form1(std::make_unique<toc::QtSocket>(), *server, nullptr, liveness);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, &app, &QCoreApplication::quit);
    window->show();
    // The system bus is asked once the window is up: a person sees the window, not the bus.
    QTimer::singleShot(0, window, [window] { toc::FollowSystem(window->keeper()); });
    const int code = QApplication::exec();
    // Windows closed with the main one are deleted late; let them go before the application does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Form2::SetNotifier(nullptr);
    return code;
}
