// UTF-8 from the command line and batch files, UTF-16 for the module.
#include "DTMFWave.hpp"
#include "Host.h"

// The decoder of the module's own C++ header, so the host accepts exactly
// the UTF-8 that a C++ caller of the module can pass.
std::optional<std::u16string> utf16FromUtf8(std::string_view text)
{
    vuzirizoruza::detail::ModuleString units;
    if (!vuzirizoruza::detail::utf16FromUtf8(text, units)) {
        return std::nullopt;
    }
    return std::u16string(units.begin(), units.end());
}

std::size_t utf8SequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

const DTMFWideChar* moduleText(const std::u16string& text)
{
    return reinterpret_cast<const DTMFWideChar*>(text.c_str());
}
