// dtmfwave KEYS OUTPUT.wav - write the DTMF tones of KEYS to a WAVE file.
#include "DTMFWave.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The keys that sound; every other character is a silent slot.
constexpr std::string_view kSoundingKeys = "0123456789*#ABCD";
// A long key string may be mostly silent; the note names only the first few.
constexpr std::size_t kSilentCharactersListed = 8;

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

// A batch run on a terminal shows how far it has got on one line of
// standard error, rewritten in place; every other message first wipes it.
class ProgressLine {
public:
    void enable() { enabled_ = true; }
    void show(std::size_t lineNumber, std::size_t written, std::size_t failed)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!enabled_ || now - shownAt_ < kInterval) {
            return;
        }
        shownAt_ = now;
        char text[96];
        const int length = std::snprintf(text, sizeof text, "dtmfwave: line %zu, %zu written, %zu failed",
                                         lineNumber, written, failed);
        const int padding = shownLength_ > length ? shownLength_ - length : 0;
        std::fprintf(stderr, "\r%s%*s", text, padding, "");
        std::fflush(stderr);
        shownLength_ = length;
    }
    void wipe()
    {
        if (shownLength_ > 0) {
            std::fprintf(stderr, "\r%*s\r", shownLength_, "");
            shownLength_ = 0;
        }
    }

private:
    // Often enough to look alive, seldom enough to cost nothing; a batch
    // that is done within the first interval shows nothing at all.
    static constexpr std::chrono::milliseconds kInterval{100};
    bool enabled_ = false;
    int shownLength_ = 0;
    std::chrono::steady_clock::time_point shownAt_ = std::chrono::steady_clock::now();
};

ProgressLine g_progress;

// Every message of the host: one line on standard error, prefixed with the
// program's name.
#if defined(__MINGW32__)
// MinGW's C++ runtime uses its own printf, with %zu, not the system's.
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void report(const char* format, ...)
{
    g_progress.wipe();
    std::fputs("dtmfwave: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

int usageFail(const std::string& message)
{
    report("%s", message.c_str());
    std::fputs(kShortUsage, stderr);
    return kExitUsage;
}

bool isTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// SIGINT, SIGTERM and SIGHUP stop the host between files, never inside one:
// they are held back while the module writes (a call is bounded, the
// largest about 2 GB), and acted on as soon as it returns. The module writes
// beside the target and renames, so the target is then the old file or the
// new one, and no temporary is left. The status is 128 + the signal number.
#ifndef _WIN32
volatile std::sig_atomic_t g_stopSignal = 0;
constexpr int kStopSignals[] = {SIGHUP, SIGINT, SIGTERM};

extern "C" void stopSignalNote(int signal)
{
    g_stopSignal = signal;
}

void stopSignalsCatch()
{
    // Past a file-size limit (ulimit -f) the kernel would kill the host
    // mid-file with SIGXFSZ; ignored, the write fails with EFBIG instead, the
    // module removes its temporary, and the failure is reported as any other.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : kStopSignals) {
        struct sigaction previous {};
        // A signal ignored on entry (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = stopSignalNote;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a read waiting for the next batch line returns at
        // once, so a signal stops a batch fed slowly from a pipe promptly.
        action.sa_flags = 0;
        sigaction(signal, &action, nullptr);
    }
}

void stopIfSignalled()
{
    if (g_stopSignal != 0) {
        g_progress.wipe();
        std::exit(128 + g_stopSignal);
    }
}

// Holds the stop signals back for its lifetime; those that arrived
// meanwhile are delivered when it ends.
class StopSignalsHeld {
public:
    StopSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kStopSignals) {
            sigaddset(&held, signal);
        }
        sigprocmask(SIG_BLOCK, &held, &previous_);
    }
    ~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t previous_;
};
#else
// Windows has no such signals to hold back: a console's Ctrl+C ends the
// process as it always did.
void stopSignalsCatch() {}
void stopIfSignalled() {}
struct StopSignalsHeld {
    StopSignalsHeld() {}
};
#endif

// One call of the module with the stop signals held back; returns errno as
// the call left it, 0 when the file was written.
int moduleCall(const DTMFWideChar* keys, const DTMFWideChar* path)
{
    stopIfSignalled();
    int reason = 0;
    {
        const StopSignalsHeld held;
        // The module leaves errno alone when it succeeds and sets it when it
        // cannot write the file, so a cleared errno tells the two apart.
        errno = 0;
        DTMFWaveCreate(keys, path);
        reason = errno;
    }
    stopIfSignalled();
    return reason;
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
        report("%s%zu silent slot%s:%s", where.c_str(), silentCount, silentCount == 1 ? "" : "s",
               listed.c_str());
    }
}

struct Options {
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> batch;
    std::vector<std::string> operands;
};

constexpr std::string_view kStandardOutput = "-";

// Copies the finished file to standard output; returns 0 or the reason it
// could not.
int fileToStandardOutputCopy(std::FILE* wave)
{
    std::fflush(stdout);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    char buffer[65536];
    std::size_t got = 0;
    errno = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, wave)) > 0) {
        if (std::fwrite(buffer, 1, got, stdout) != got) {
            break;
        }
    }
    if (std::ferror(wave) || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

// The module writes a temporary file, which is then copied to standard
// output and removed. Windows has no name for standard output that its
// file API opens as a file; on POSIX this is for a standard output that is
// a regular file, which /dev/stdout would reopen at offset 0 and empty,
// losing whatever the shell had already written there (`>>`, or a group of
// commands sharing one redirection).
int temporaryWriteAndCopy(const std::u16string& keys)
{
#ifdef _WIN32
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD folderLength = GetTempPathW(MAX_PATH + 1, folder);
    if (folderLength == 0 || folderLength > MAX_PATH || GetTempFileNameW(folder, L"dtw", 0, name) == 0) {
        return EACCES;
    }
    const DTMFWideChar* moduleName = reinterpret_cast<const DTMFWideChar*>(name);
    const auto fileOpen = [&] { return _wfopen(name, L"rb"); };
    const auto fileRemove = [&] { _wremove(name); };
#else
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/dtmfwave-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        return errno;
    }
    close(descriptor);
    const std::optional<std::u16string> wideName = utf16FromUtf8(name);
    if (!wideName) {
        unlink(name.c_str());
        return EILSEQ;
    }
    const DTMFWideChar* moduleName = moduleText(*wideName);
    const auto fileOpen = [&] { return std::fopen(name.c_str(), "rb"); };
    const auto fileRemove = [&] { unlink(name.c_str()); };
#endif
    int reason = moduleCall(moduleText(keys), moduleName);
    if (reason == 0) {
        if (std::FILE* wave = fileOpen()) {
            reason = fileToStandardOutputCopy(wave);
            std::fclose(wave);
        } else {
            reason = errno;
        }
    }
    fileRemove();
    return reason;
}

int standardOutputThroughTemporary(const std::u16string& keys)
{
    int reason = 0;
    {
        // Held from before the temporary exists until it is gone, so that a
        // stop signal never leaves it behind. (The flag is set only by the
        // handler, which cannot run meanwhile.)
        const StopSignalsHeld held;
        stopIfSignalled();
        reason = temporaryWriteAndCopy(keys);
    }
    stopIfSignalled();
    return reason;
}

// Standard output takes the WAVE bytes as they are written where it is a
// pipe, a socket or a device: the module writes /dev/stdout in place, header
// first, without seeking back.
int standardOutputWrite(const std::u16string& keys)
{
#ifdef _WIN32
    return standardOutputThroughTemporary(keys);
#else
    struct stat status {};
    if (fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)) {
        return standardOutputThroughTemporary(keys);
    }
    std::fflush(stdout);
    return moduleCall(moduleText(keys), u"/dev/stdout");
#endif
}

// Writes one file, or with OUTPUT.wav '-' the WAVE to standard output.
// Returns kExitSuccess, or reports why not (prefixed by where) and returns
// kExitFailure, or kExitUsage for arguments that are not UTF-8.
int waveWrite(const std::string& keysUtf8, const std::string& pathUtf8, const std::string& where,
              const Options& options)
{
    const std::optional<std::u16string> keys = utf16FromUtf8(keysUtf8);
    if (!keys) {
        report("%sKEYS is not valid UTF-8", where.c_str());
        return kExitUsage;
    }
    const std::optional<std::u16string> path = utf16FromUtf8(pathUtf8);
    if (!path || path->empty()) {
        report("%sOUTPUT.wav must be a non-empty UTF-8 path", where.c_str());
        return kExitUsage;
    }
    const bool toStandardOutput = pathUtf8 == kStandardOutput;
    if (toStandardOutput && isTerminal(stdout)) {
        report("%snot writing WAVE data to a terminal; redirect standard output or name a file",
               where.c_str());
        return kExitFailure;
    }
    if (!options.quiet) {
        silentSlotsReport(keysUtf8, where);
    }

    int reason = 0;
    if (toStandardOutput) {
        reason = standardOutputWrite(*keys);
    } else {
        reason = moduleCall(moduleText(*keys), moduleText(*path));
        if (reason == 0 && !pathExists(pathUtf8, *path)) {
            reason = errno;
        }
    }
    if (reason != 0) {
        report("%scannot write '%s': %s", where.c_str(), toStandardOutput ? "<stdout>" : pathUtf8.c_str(),
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
    // Neither a key string nor a path can hold a NUL: the module would see
    // the string end there and write some other file.
    if (line.find('\0') != std::string::npos) {
        report("%sline holds a NUL byte", where.c_str());
        return false;
    }
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find('\t', tab + 1) != std::string::npos) {
        report("%sexpected KEYS<TAB>OUTPUT.wav", where.c_str());
        return false;
    }
    if (line.compare(tab + 1, std::string::npos, kStandardOutput) == 0) {
        report("%s'-' (standard output) takes a single file, not a batch line", where.c_str());
        return false;
    }
    return waveWrite(line.substr(0, tab), line.substr(tab + 1), where, options) == kExitSuccess;
}

int batchRun(const std::string& source, const Options& options)
{
    const bool fromStdin = source == "-";
    std::FILE* input = fromStdin ? stdin : textFileOpen(source);
    if (!input) {
        report("cannot read '%s': %s", source.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    if (!options.quiet && isTerminal(stderr)) {
        g_progress.enable();
    }
    const std::string name = fromStdin ? "<stdin>" : source;
    std::size_t written = 0;
    std::size_t failed = 0;
    std::string line;
    std::size_t lineNumber = 0;
    for (int c = std::fgetc(input);; c = std::fgetc(input)) {
        stopIfSignalled();
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
            ++(batchLineRun(line, where, options) ? written : failed);
            g_progress.show(lineNumber, written, failed);
        }
        line.clear();
        if (c == EOF) {
            break;
        }
    }
    g_progress.wipe();
    if (std::ferror(input)) {
        report("error reading '%s': %s", name.c_str(), std::strerror(errno));
        ++failed;
    }
    if (!fromStdin) {
        std::fclose(input);
    }
    return failed == 0 ? kExitSuccess : kExitFailure;
}

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
                default: return usageFail("unknown option '-" + std::string(1, arg[k]) + "'");
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
        std::printf("dtmfwave %s\n", DTMFWAVE_VERSION);
        return kExitSuccess;
    }
    stopSignalsCatch();
    if (options.batch) {
        if (!options.operands.empty()) {
            return usageFail("--batch takes no KEYS or OUTPUT.wav besides its FILE");
        }
        return batchRun(*options.batch, options);
    }
    if (options.operands.size() != 2) {
        return usageFail("expected KEYS and OUTPUT.wav");
    }
    const int status = waveWrite(options.operands[0], options.operands[1], "", options);
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
