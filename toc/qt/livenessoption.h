#pragma once

#include <optional>

#include <QCommandLineOption>
#include <QString>

#include "toc/liveness.h"

namespace toc {

/// The hidden `--liveness-ms QUIET,ANSWER,SIGNON` that toc-cli and Rivir both take, so that tests
/// can drop a silent link in seconds instead of a minute and a half.
QCommandLineOption LivenessOption();

/// The three times, or nullopt unless the value is three positive numbers.
std::optional<LivenessSettings> ParseLivenessMs(const QString& value);

} // namespace toc
