#include "toc/qt/livenessoption.h"

#include <QStringList>

namespace toc {

QCommandLineOption LivenessOption()
{
    QCommandLineOption option(QStringLiteral("liveness-ms"), QStringLiteral("QUIET,ANSWER,SIGNON"),
                              QStringLiteral("MS,MS,MS"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

std::optional<LivenessSettings> ParseLivenessMs(const QString& value)
{
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != 3)
        return std::nullopt;
    int ms[3] {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        ms[i] = parts[i].toInt(&ok);
        if (!ok || ms[i] <= 0)
            return std::nullopt;
    }
    using std::chrono::milliseconds;
    return LivenessSettings { milliseconds(ms[2]), milliseconds(ms[0]), milliseconds(ms[1]) };
}

} // namespace toc
