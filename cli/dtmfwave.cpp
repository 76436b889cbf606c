// dtmfwave KEYS OUTPUT.wav - write the DTMF tones of KEYS to a WAVE file.
// This file holds the whole run in outline; Host.h names the pieces.
#include "Host.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#  include <windows.h>
#endif

namespace {

int run(const std::vector<std::string>& args)
{
    Options options;
    if (const std::optional<int> status = argumentsParse(args, options)) {
        return *status;
    }
    if (options.help) {
        usagePrint(stdout);
        return kExitSuccess;
    }
    if (options.version) {
        std::printf("dtmfwave %s\n", DTMFWAVE_VERSION_STRING);
        return kExitSuccess;
    }
    signalsPrepare();
    if (options.batch) {
        if (!options.operands.empty()) {
            return usageFail("--batch takes no KEYS or OUTPUT.wav besides its FILE");
        }
        return batchRun(*options.batch, options.quiet);
    }
    if (options.operands.size() != 2) {
        return usageFail(operandsProblem(options.operands));
    }
    const int status = waveWrite(options.operands[0], options.operands[1], "", options.quiet);
    if (status == kExitUsage) {
        shortUsagePrint();
    }
    return status;
}

} // namespace

#ifdef _WIN32
// Windows hands a program its arguments in the ANSI code page unless it asks
// for UTF-16; the host works in UTF-8, so each argument is converted here.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
        if (size > 0) {
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8.data(), size, nullptr, nullptr);
        }
        utf8.resize(std::strlen(utf8.c_str()));
        args.push_back(utf8);
    }
    return run(args);
}
#else
int main(int argc, char** argv)
{
    return run(std::vector<std::string>(argv, argv + argc));
}
#endif
