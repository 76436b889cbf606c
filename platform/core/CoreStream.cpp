// Stream operations shared by every platform: the C runtime's own calls.
#include "CoreRuntime.h"

namespace core {

bool fileWrite(std::FILE* stream, const void* data, std::size_t size)
{
    return std::fwrite(data, 1, size, stream) == size;
}

bool fileRewind(std::FILE* stream)
{
    return std::fseek(stream, 0, SEEK_SET) == 0;
}

bool fileFlush(std::FILE* stream)
{
    return std::fflush(stream) == 0;
}

bool fileClose(std::FILE* stream)
{
    return std::fclose(stream) == 0;
}

} // namespace core
