// dtmfwave KEYS OUTPUT.wav - write the DTMF tones of KEYS to a WAVE file.
#include "DTMFWave.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The keys that sound; every other character is a silent slot.
constexpr std::string_view kSoundingKeys = "0123456789*#ABCD";
// A long key string may be mostly silent; the note names only the first few.
constexpr std::size_t kSilentCharactersListed = 8;

void usagePrint(std::FILE* out)
{
    std::fputs("usage: dtmfwave [-q] KEYS OUTPUT.wav\n"
               "       dtmfwave [-q] --batch FILE\n"
               "       dtmfwave --help | --version\n"
               "\n"
               "Writes the DTMF tones of KEYS to OUTPUT.wav: 8000 Hz, 8-bit unsigned PCM,\n"
               "mono. Every character is a 500 ms slot, 250 ms of its tone pair and 250 ms\n"
               "of silence. 0-9, *, #, and A-D sound; any other character is a silent slot.\n"
               "KEYS and OUTPUT.wav are UTF-8.\n"
               "\n"
               "  -q, --quiet     do not list the characters that will be silent slots\n"
               "  --batch FILE    read lines of KEYS<TAB>OUTPUT.wav from FILE ('-' for\n"
               "                  standard input) and write every file; bad lines are\n"
               "                  reported with their line number and the rest still done\n"
               "  --              end of options, for KEYS that start with '-'\n"
               "\n"
               "Exit status: 0 when every file was written, 1 when any could not be,\n"
               "2 for a usage error.\n",
               out);
}

int usageFail(const std::string& message)
{
    std::fprintf(stderr, "dtmfwave: %s\n", message.c_str());
    std::fputs("usage: dtmfwave [-q] KEYS OUTPUT.wav | --batch FILE (try 'dtmfwave --help')\n", stderr);
    return kExitUsage;
}

// Decodes strict UTF-8 into UTF-16; rejects overlong forms, surrogates and
// anything past U+10FFFF, since the module could only turn them into '?'.
std::optional<std::u16string> utf16FromUtf8(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int trailing = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        if (trailing < 0 || lead > 0xF4 || text.size() - i <= static_cast<std::size_t>(trailing)) {
            return std::nullopt;
        }
        char32_t codePoint = trailing == 0 ? lead : lead & (0x3F >> trailing);
        for (int k = 1; k <= trailing; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr char32_t kShortestForm[4] = {0, 0x80, 0x800, 0x10000};
        if (codePoint < kShortestForm[trailing] || codePoint > 0x10FFFF
            || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return std::nullopt;
        }
        if (codePoint >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
        i += static_cast<std::size_t>(trailing) + 1;
    }
    return out;
}

std::size_t utf8SequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

// The module's character type is char16_t or, on Windows, the 16-bit
// wchar_t: the same UTF-16 units either way.
const DTMFWideChar* moduleText(const std::u16string& text)
{
    return reinterpret_cast<const DTMFWideChar*>(text.c_str());
}

// Whether the path names something now. On Windows the narrow file API
// speaks the ANSI code page, so the UTF-16 form is used there.
bool pathExists(const std::string& utf8, const std::u16string& utf16)
{
#ifdef _WIN32
    (void)utf8;
    struct _stat64 status {};
    return _wstat64(moduleText(utf16), &status) == 0;
#else
    (void)utf16;
    struct stat status {};
    return stat(utf8.c_str(), &status) == 0;
#endif
}

std::FILE* textFileOpen(const std::string& utf8)
{
#ifdef _WIN32
    const std::optional<std::u16string> utf16 = utf16FromUtf8(utf8);
    return utf16 ? _wfopen(moduleText(*utf16), L"r") : nullptr;
#else
    return std::fopen(utf8.c_str(), "r");
#endif
}

// Tells the user which characters will be silent. A character outside the
// Basic Multilingual Plane is two UTF-16 units, and so two silent slots.
// where prefixes the note with the batch line it belongs to, if any.
void silentSlotsReport(std::string_view keys, const std::string& where)
{
    std::string listed;
    std::size_t silentCount = 0;
    std::size_t charactersListed = 0;
    std::size_t slot = 1;
    for (std::size_t i = 0; i < keys.size();) {
        const std::size_t length = utf8SequenceLength(static_cast<unsigned char>(keys[i]));
        const std::size_t slots = length == 4 ? 2 : 1;
        const std::string_view character = keys.substr(i, length);
        if (length > 1 || kSoundingKeys.find(keys[i]) == std::string_view::npos) {
            silentCount += slots;
            if (charactersListed < kSilentCharactersListed) {
                listed += charactersListed++ ? ", '" : " '";
                listed.append(character);
                listed += slots == 1 ? "' (slot " + std::to_string(slot) + ")"
                                     : "' (slots " + std::to_string(slot) + "-" + std::to_string(slot + 1) + ")";
            } else if (charactersListed++ == kSilentCharactersListed) {
                listed += ", ...";
            }
        }
        slot += slots;
        i += length;
    }
    if (silentCount > 0) {
        std::fprintf(stderr, "dtmfwave: %s%zu silent slot%s:%s\n", where.c_str(), silentCount,
                     silentCount == 1 ? "" : "s", listed.c_str());
    }
}

struct Options {
    bool quiet = false;
};

// Writes one file. Returns kExitSuccess, or reports why not (prefixed by
// where) and returns kExitFailure, or kExitUsage for arguments that are not
// UTF-8.
int waveWrite(const std::string& keysUtf8, const std::string& pathUtf8, const std::string& where,
              const Options& options)
{
    const std::optional<std::u16string> keys = utf16FromUtf8(keysUtf8);
    if (!keys) {
        std::fprintf(stderr, "dtmfwave: %sKEYS is not valid UTF-8\n", where.c_str());
        return kExitUsage;
    }
    const std::optional<std::u16string> path = utf16FromUtf8(pathUtf8);
    if (!path || path->empty()) {
        std::fprintf(stderr, "dtmfwave: %sOUTPUT.wav must be a non-empty UTF-8 path\n", where.c_str());
        return kExitUsage;
    }
    if (!options.quiet) {
        silentSlotsReport(keysUtf8, where);
    }

    // The module leaves errno alone when it succeeds and sets it when it
    // cannot write the file, so a cleared errno tells the two apart.
    errno = 0;
    DTMFWaveCreate(moduleText(*keys), moduleText(*path));
    int reason = errno;
    if (reason == 0 && !pathExists(pathUtf8, *path)) {
        reason = errno;
    }
    if (reason != 0) {
        std::fprintf(stderr, "dtmfwave: %scannot write '%s': %s\n", where.c_str(), pathUtf8.c_str(),
                     std::strerror(reason));
        return kExitFailure;
    }
    return kExitSuccess;
}

// One line of a batch: KEYS, a tab, OUTPUT.wav. A bad line or a file that
// cannot be written fails that line alone.
bool batchLineRun(std::string line, const std::string& where, const Options& options)
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find('\t', tab + 1) != std::string::npos) {
        std::fprintf(stderr, "dtmfwave: %sexpected KEYS<TAB>OUTPUT.wav\n", where.c_str());
        return false;
    }
    return waveWrite(line.substr(0, tab), line.substr(tab + 1), where, options) == kExitSuccess;
}

int batchRun(const std::string& source, const Options& options)
{
    const bool fromStdin = source == "-";
    std::FILE* input = fromStdin ? stdin : textFileOpen(source);
    if (!input) {
        std::fprintf(stderr, "dtmfwave: cannot read '%s': %s\n", source.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    const std::string name = fromStdin ? "<stdin>" : source;
    bool allWritten = true;
    std::string line;
    std::size_t lineNumber = 0;
    for (int c = std::fgetc(input);; c = std::fgetc(input)) {
        if (c != EOF && c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (c == EOF && line.empty()) {
            break;
        }
        ++lineNumber;
        // Blank lines separate groups of a test set; they are not errors.
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
            allWritten = batchLineRun(line, where, options) && allWritten;
        }
        line.clear();
        if (c == EOF) {
            break;
        }
    }
    if (std::ferror(input)) {
        std::fprintf(stderr, "dtmfwave: error reading '%s': %s\n", name.c_str(), std::strerror(errno));
        allWritten = false;
    }
    if (!fromStdin) {
        std::fclose(input);
    }
    return allWritten ? kExitSuccess : kExitFailure;
}

int run(const std::vector<std::string>& args)
{
    const std::size_t argc = args.size();
    Options options;
    std::size_t next = 1;
    if (argc == 2 && args[1] == "--help") {
        usagePrint(stdout);
        return kExitSuccess;
    }
    if (argc == 2 && args[1] == "--version") {
        std::printf("dtmfwave %s\n", DTMFWAVE_VERSION);
        return kExitSuccess;
    }
    if (next < argc && (args[next] == "-q" || args[next] == "--quiet")) {
        options.quiet = true;
        ++next;
    }
    if (next < argc && args[next] == "--batch") {
        if (argc - next != 2) {
            return usageFail("--batch takes one FILE, or '-' for standard input");
        }
        return batchRun(args[next + 1], options);
    }
    // "--" lets a key string or path begin with a dash.
    if (next < argc && args[next] == "--") {
        ++next;
    } else if (next < argc && args[next].size() > 1 && args[next][0] == '-') {
        return usageFail("unknown option '" + args[next] + "'");
    }
    if (argc - next != 2) {
        return usageFail("expected KEYS and OUTPUT.wav");
    }
    const int status = waveWrite(args[next], args[next + 1], "", options);
    if (status == kExitUsage) {
        std::fputs("usage: dtmfwave [-q] KEYS OUTPUT.wav | --batch FILE (try 'dtmfwave --help')\n", stderr);
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
