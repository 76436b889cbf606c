// The command line of dtmfwave: its options, its operands and the usage
// messages that explain them.
#include "Host.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kShortUsage = "usage: dtmfwave [-q] KEYS OUTPUT.wav | --batch FILE (try 'dtmfwave --help')\n";

} // namespace

void usagePrint(std::FILE* out)
{
    (void)std::fputs("usage: dtmfwave [-q] KEYS OUTPUT.wav\n"
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

void shortUsagePrint()
{
    (void)std::fputs(kShortUsage, stderr);
}

int usageFail(const std::string& message)
{
    report("%s", message.c_str());
    shortUsagePrint();
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

namespace {

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

// --batch FILE or --batch=FILE; i moves past a FILE given apart.
std::optional<int> batchOptionTake(const std::vector<std::string>& args, std::size_t& i, Options& options)
{
    const std::string& arg = args[i];
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
    return std::nullopt;
}

// Short options, alone or together as in -qV.
std::optional<int> shortOptionsTake(const std::string& arg, Options& options)
{
    for (std::size_t k = 1; k < arg.size(); ++k) {
        switch (arg[k]) {
        case 'q':
            options.quiet = true;
            break;
        case 'h':
            options.help = true;
            break;
        case 'V':
            options.version = true;
            break;
        default:
            return usageFail(unknownShortOption(arg[k]));
        }
    }
    return std::nullopt;
}

} // namespace

// Options may come anywhere among the operands, as most tools take them;
// "--" ends them, and a lone "-" is an operand (standard input or output).
std::optional<int> argumentsParse(const std::vector<std::string>& args, Options& options)
{
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<int> failure;
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
            failure = batchOptionTake(args, i, options);
        } else if (arg[1] != '-') {
            failure = shortOptionsTake(arg, options);
        } else {
            failure = usageFail("unknown option '" + arg + "'");
        }
        if (failure) {
            return failure;
        }
    }
    return std::nullopt;
}
