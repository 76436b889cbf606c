// The text services every platform shares.
#include "CoreText.h"

namespace core {
namespace {

bool isHighSurrogate(WideChar unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(WideChar unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::size_t wideLength(const WideChar* text)
{
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

bool isValidUtf16(const WideChar* text)
{
    for (std::size_t i = 0; text[i] != 0; ++i) {
        if (isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1])) {
            ++i;
        } else if (isHighSurrogate(text[i]) || isLowSurrogate(text[i])) {
            return false;
        }
    }
    return true;
}

} // namespace core
