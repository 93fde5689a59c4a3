#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tools/bytejson.h"

namespace toc {
class Account;
class OrbTOCSock;
}

namespace tocli {

/// Runs command lines against the control. A line is a JSON array ["MethodName", arg, ...]
/// naming a public method of OrbTOCSock with its arguments in order; trailing optional arguments
/// may be left out or given as null. Text arguments are strings of code points U+0000..U+00FF
/// (one per byte), numbers are JSON integers within the parameter's range, flags are true/false.
///
/// On an account, lines are asked of the account instead: what it keeps (sign-on, profile, away
/// message, idle time, capabilities, rooms, password) it is told; every other command waits its
/// turn in its queue, and a result comes through `reply` when its line has had its turn.
class CommandDispatcher {
public:
    explicit CommandDispatcher(toc::OrbTOCSock& control);
    explicit CommandDispatcher(toc::Account& account);

    /// Runs one line. Returns the line to print, if any: {"result": ...} for the methods that
    /// return a value (when run at once; else it goes to `late` in its turn), {"error": "..."} for
    /// a line that cannot be run (and then nothing was called), nothing for the other methods,
    /// whose outcome arrives as events.
    std::optional<std::string> Execute(std::string_view line, std::function<void(const std::string&)> late = {});

    /// Called with the whole line parsed (name first) once it has run: a queued command when its
    /// turn has come and it has gone out, a command the account keeps when it was taken.
    std::function<void(const std::string& method, const Json& line)> afterCall;

private:
    toc::OrbTOCSock& m_control;
    toc::Account* m_account = nullptr;
};

} // namespace tocli
