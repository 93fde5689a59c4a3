#pragma once

#include <string>

namespace tocli {

/// `toc-cli --attach PATH`: copies stdin to the control socket at PATH and what comes back to
/// stdout, until the running toc-cli ends or, after the end of stdin, has answered and let go.
/// Runs the event loop; returns the exit status: 2 when nothing answers at PATH.
int Attach(const std::string& path);

} // namespace tocli
