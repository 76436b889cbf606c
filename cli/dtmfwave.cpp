// dtmfwave KEYS OUTPUT.wav - write the DTMF tones of KEYS to a WAVE file.
// This file holds the command line itself; Host.h names the rest.
#include "Host.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr const char* kShortUsage =
    "usage: dtmfwave [-q] KEYS OUTPUT.wav | --batch FILE (try 'dtmfwave --help')\n";

void usagePrint(std::FILE* out)
{
    std::fputs("usage: dtmfwave [-q] KEYS OUTPUT.wav\n"
               "       dtmfwave [-q] --batch FILE\n"
               "       dtmfwave -h | --help | -V | --version\n"
               "\n"
               "Writes the DTMF tones of KEYS to OUTPUT.wav: 8000 Hz, 8-bit unsigned PCM,\n"
               "mono. Every character is a 500 ms slot, 250 ms of its tone pair and 250 ms\n"
               "of silence. 0-9, *, #, and A-D sound; any other character is a silent slot.\n"
               "KEYS and OUTPUT.wav are UTF-8; OUTPUT.wav '-' is standard output.\n"
               "One file holds at most 536870 keys; KEYS longer than the system takes in\n"
               "one argument (about 131000 bytes on Linux) go in a --batch line.\n"
               "\n"
               "  -q, --quiet         do not list the characters that will be silent slots,\n"
               "                      and show no batch progress\n"
               "  --batch FILE, --batch=FILE\n"
               "                      read lines of KEYS<TAB>OUTPUT.wav from FILE ('-' for\n"
               "                      standard input) and write every file; bad lines are\n"
               "                      reported with their line number and the rest still done\n"
               "  -h, --help          show this help\n"
               "  -V, --version       show the version\n"
               "  --                  end of options, for KEYS that start with '-'\n"
               "\n"
               "Options may come before or after the operands.\n"
               "Exit status: 0 when every file was written, 1 when any could not be,\n"
               "2 for a usage error, 128+N when signal N stopped the run between files.\n",
               out);
}

int usageFail(const std::string& message)
{
    report("%s", message.c_str());
    std::fputs(kShortUsage, stderr);
    return kExitUsage;
}

// What is wrong with a command line that does not hold exactly KEYS and
// OUTPUT.wav. Three or more operands are most often a key string with
// spaces that the shell split, so that message says how to keep it whole.
std::string operandsProblem(const std::vector<std::string>& operands)
{
    if (operands.empty()) {
        return "missing KEYS and OUTPUT.wav";
    }
    if (operands.size() == 1) {
        return "missing OUTPUT.wav: expected KEYS and OUTPUT.wav, got one operand";
    }
    return "too many operands: expected KEYS and OUTPUT.wav, got " + std::to_string(operands.size())
           + " (quote KEYS that hold spaces, as in dtmfwave '1 2 3' OUTPUT.wav)";
}

// A dash followed by something that is no letter, as in -1 or -*, is most
// often a key string, so the message says how to pass one.
std::string unknownShortOption(char option)
{
    std::string message = "unknown option '-" + std::string(1, option) + "'";
    if (!std::isalpha(static_cast<unsigned char>(option))) {
        message += " (put -- before KEYS that start with '-')";
    }
    return message;
}

struct Options {
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> batch;
    std::vector<std::string> operands;
};

// Options may come anywhere among the operands, as most tools take them;
// "--" ends them, and a lone "-" is an operand (standard input or output).
std::optional<int> argumentsParse(const std::vector<std::string>& args, Options& options)
{
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--batch" || arg.rfind("--batch=", 0) == 0) {
            if (options.batch) {
                return usageFail("--batch given twice");
            }
            if (arg == "--batch") {
                if (++i == args.size()) {
                    return usageFail("--batch takes one FILE, or '-' for standard input");
                }
                options.batch = args[i];
            } else {
                options.batch = arg.substr(std::strlen("--batch="));
            }
            if (options.batch->empty()) {
                return usageFail("--batch takes one FILE, or '-' for standard input");
            }
        } else if (arg[1] != '-') {
            // Short options, alone or together as in -qV.
            for (std::size_t k = 1; k < arg.size(); ++k) {
                switch (arg[k]) {
                case 'q': options.quiet = true; break;
                case 'h': options.help = true; break;
                case 'V': options.version = true; break;
                default: return usageFail(unknownShortOption(arg[k]));
                }
            }
        } else {
            return usageFail("unknown option '" + arg + "'");
        }
    }
    return std::nullopt;
}

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
        std::fputs(kShortUsage, stderr);
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
