#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "tools/bytejson.h"

namespace toc {
class OrbTOCSock;
}

namespace tocli {

/// Runs command lines against the control. A line is a JSON array ["MethodName", arg, ...]
/// naming a public method of OrbTOCSock with its arguments in order; trailing optional arguments
/// may be left out or given as null. Text arguments are strings of code points U+0000..U+00FF
/// (one per byte), numbers are JSON integers within the parameter's range, flags are true/false.
class CommandDispatcher {
public:
    explicit CommandDispatcher(toc::OrbTOCSock& control);

    /// Runs one line. Returns the line to print, if any: {"result": ...} for the methods that
    /// return a value, {"error": "..."} for a line that cannot be run (and then nothing was
    /// called), nothing for the other methods, whose outcome arrives as events.
    std::optional<std::string> Execute(std::string_view line);

    /// Called with the method's name just before a checked line runs.
    std::function<void(const std::string& method)> beforeCall;
    /// Called after a method ran without error, with the whole line parsed (name first).
    std::function<void(const std::string& method, const Json& line)> afterCall;

private:
    toc::OrbTOCSock& m_control;
};

} // namespace tocli
