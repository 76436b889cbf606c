// Standard output on POSIX systems. The module writes /dev/stdout, which it
// knows for this process's own descriptor 1, through that very descriptor:
// a pipe or a socket takes the bytes as they are made, and a file takes
// them where the shell left its offset, after whatever was written there
// before (several commands sharing one redirection) or at its end for >>.
// Nothing is reopened and no temporary is made, so a host stopped part way
// leaves nothing behind.
#include "Host.h"

int standardOutputWrite(const std::u16string& keys)
{
    return moduleCall(moduleText(keys), u"/dev/stdout");
}
