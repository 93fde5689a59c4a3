// RemoveHtml only ever deletes: the result is never longer than the text, and it equals the slow
// reading that searches from the start again after every cut.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "toc/encoding.h"

namespace {

std::string reference(std::string s)
{
    while (true) {
        const std::size_t open = s.find('<');
        if (open == std::string::npos)
            return s;
        const std::size_t close = s.find('>', open + 1);
        if (close == std::string::npos)
            return s;
        s.erase(open, close - open + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reference is quadratic; longer inputs add nothing it could check.
    if (size > 8192)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string out = toc::RemoveHtml(text);
    if (out.size() > text.size()) {
        std::fprintf(stderr, "RemoveHtml grew the text\n");
        std::abort();
    }
    if (out != reference(text)) {
        std::fprintf(stderr, "RemoveHtml differs from the reference\n");
        std::abort();
    }
    return 0;
}
