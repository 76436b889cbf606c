// Text on Windows: the system's own conversion to the ANSI code page,
// whatever that code page is (UTF-8 included).
#include "CoreCall.h"
#include "CoreText.h"

#include <climits>
#include <windows.h>

namespace core {

bool ansiLengthMeasure(const WideChar* wide, std::size_t* length)
{
    // Asked with no buffer, the conversion says how many bytes it needs,
    // terminator included; 0 means it cannot convert the string at all.
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        failureRecordWin32();
        return false;
    }
    *length = static_cast<std::size_t>(needed - 1);
    return true;
}

std::size_t ansiFromWide(const WideChar* wide, char* narrow, std::size_t narrowSize)
{
    if (narrowSize == 0) {
        return 0;
    }
    const int size = narrowSize > INT_MAX ? INT_MAX : static_cast<int>(narrowSize);
    // The count includes the terminator; 0 means the conversion failed and
    // may have left a partial string behind.
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, size, NULL, NULL);
    if (written <= 0) {
        narrow[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(written - 1);
}

} // namespace core
