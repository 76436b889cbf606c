// What the host tells its user on standard error: one-line messages, the
// note about silent slots, and a batch's progress on a terminal.
#include "Host.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#  include <io.h>
#  include <windows.h>
#else
#  include <unistd.h>
#endif

namespace {

// The keys that sound; every other character is a silent slot.
constexpr std::string_view kSoundingKeys = "0123456789*#ABCD";
// A long key string may be mostly silent; the note names only the first few.
constexpr std::size_t kSilentCharactersListed = 8;

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
        const int length = std::snprintf(text, sizeof text, "dtmfwave: line %zu, %zu written, %zu failed", lineNumber,
                                         written, failed);
        const int padding = shownLength_ > length ? shownLength_ - length : 0;
        // Progress that cannot be shown is no reason to stop the batch.
        (void)std::fprintf(stderr, "\r%s%*s", text, padding, "");
        (void)std::fflush(stderr);
        shownLength_ = length;
    }
    void wipe()
    {
        if (shownLength_ > 0) {
            (void)std::fprintf(stderr, "\r%*s\r", shownLength_, "");
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

} // namespace

// printf-style, so that every message reads as its format says; the format
// attribute in Host.h has the compiler check each call's arguments.
void report(const char* format, ...) // NOLINT(cert-dcl50-cpp)
{
    g_progress.wipe();
    // Standard error is the last place a message can go: if it cannot be
    // written, the exit status still tells.
    (void)std::fputs("dtmfwave: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    (void)std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    (void)std::fputc('\n', stderr);
}

bool isTerminal(std::FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

namespace {

// The narrow characters the module makes of one UTF-8 character, one slot
// each. Outside Windows every UTF-16 unit becomes one Windows-1252 byte or
// '?', and only ASCII can be a key. Windows converts in the system's code
// page, whose best-fit letters can be keys ('A' for U+0100 or U+FF21), and
// whose double-byte characters are two slots; the same conversion tells the
// truth there.
std::string narrowFromCharacter(std::string_view character)
{
#ifdef _WIN32
    const std::optional<std::u16string> wide = utf16FromUtf8(character);
    char narrow[8] = {};
    const int length = wide ? WideCharToMultiByte(CP_ACP, 0, moduleText(*wide), static_cast<int>(wide->size()), narrow,
                                                  sizeof narrow, nullptr, nullptr)
                            : 0;
    return std::string(narrow, length > 0 ? static_cast<std::size_t>(length) : 0);
#else
    if (character.size() == 1) {
        return std::string(character);
    }
    // A character outside the Basic Multilingual Plane is two UTF-16 units.
    return character.size() == 4 ? "??" : "?";
#endif
}

} // namespace

void silentSlotsReport(std::string_view keys, const std::string& where)
{
    std::string listed;
    std::size_t silentCount = 0;
    std::size_t charactersListed = 0;
    std::size_t slot = 1;
    for (std::size_t i = 0; i < keys.size();) {
        const std::size_t length = utf8SequenceLength(static_cast<unsigned char>(keys[i]));
        const std::string_view character = keys.substr(i, length);
        const std::string narrow = narrowFromCharacter(character);
        const std::size_t slots = narrow.size();
        const std::size_t silent = static_cast<std::size_t>(std::count_if(
            narrow.begin(), narrow.end(), [](char c) { return kSoundingKeys.find(c) == std::string_view::npos; }));
        if (silent > 0) {
            silentCount += silent;
            if (charactersListed < kSilentCharactersListed) {
                listed += charactersListed++ ? ", '" : " '";
                listed.append(character);
                listed += slots == 1
                    ? "' (slot " + std::to_string(slot) + ")"
                    : "' (slots " + std::to_string(slot) + "-" + std::to_string(slot + slots - 1) + ")";
            } else if (charactersListed++ == kSilentCharactersListed) {
                listed += ", ...";
            }
        }
        slot += slots;
        i += length;
    }
    if (silentCount > 0) {
        report("%s%zu silent slot%s:%s", where.c_str(), silentCount, silentCount == 1 ? "" : "s", listed.c_str());
    }
}

void progressEnable()
{
    g_progress.enable();
}

void progressShow(std::size_t lineNumber, std::size_t written, std::size_t failed)
{
    g_progress.show(lineNumber, written, failed);
}

void progressWipe()
{
    g_progress.wipe();
}
