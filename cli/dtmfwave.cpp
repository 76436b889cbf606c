// dtmfwave KEYS OUTPUT.wav - write the DTMF tones of KEYS to a WAVE file.
#include "DTMFWave.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

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
    std::fputs("usage: dtmfwave KEYS OUTPUT.wav\n"
               "       dtmfwave --help | --version\n"
               "\n"
               "Writes the DTMF tones of KEYS to OUTPUT.wav: 8000 Hz, 8-bit unsigned PCM,\n"
               "mono. Every character is a 500 ms slot, 250 ms of its tone pair and 250 ms\n"
               "of silence. 0-9, *, #, and A-D sound; any other character is a silent slot.\n"
               "KEYS and OUTPUT.wav are UTF-8. Exit status: 0 when the file was written,\n"
               "1 when it could not be, 2 for a usage error.\n",
               out);
}

int usageFail(const char* message)
{
    std::fprintf(stderr, "dtmfwave: %s\n", message);
    std::fputs("usage: dtmfwave KEYS OUTPUT.wav (try 'dtmfwave --help')\n", stderr);
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

// Tells the user which characters will be silent. A character outside the
// Basic Multilingual Plane is two UTF-16 units, and so two silent slots.
void silentSlotsReport(std::string_view keys)
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
        std::fprintf(stderr, "dtmfwave: %zu silent slot%s:%s\n", silentCount, silentCount == 1 ? "" : "s",
                     listed.c_str());
    }
}

int waveWrite(const char* keysUtf8, const char* pathUtf8)
{
    const std::optional<std::u16string> keys = utf16FromUtf8(keysUtf8);
    if (!keys) {
        return usageFail("KEYS is not valid UTF-8");
    }
    const std::optional<std::u16string> path = utf16FromUtf8(pathUtf8);
    if (!path || path->empty()) {
        return usageFail("OUTPUT.wav must be a non-empty UTF-8 path");
    }
    silentSlotsReport(keysUtf8);

    // The module leaves errno alone when it succeeds and sets it when it
    // cannot write the file, so a cleared errno tells the two apart.
    errno = 0;
    DTMFWaveCreate(keys->c_str(), path->c_str());
    int reason = errno;
    struct stat status {};
    if (reason == 0 && stat(pathUtf8, &status) != 0) {
        reason = errno;
    }
    if (reason != 0) {
        std::fprintf(stderr, "dtmfwave: cannot write '%s': %s\n", pathUtf8, std::strerror(reason));
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        usagePrint(stdout);
        return kExitSuccess;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("dtmfwave %s\n", DTMFWAVE_VERSION);
        return kExitSuccess;
    }
    // "--" lets a key string or path begin with a dash.
    if (argc > 1 && std::strcmp(argv[1], "--") == 0) {
        first = 2;
    } else if (argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0') {
        return usageFail((std::string("unknown option '") + argv[1] + "'").c_str());
    }
    if (argc - first != 2) {
        return usageFail("expected KEYS and OUTPUT.wav");
    }
    return waveWrite(argv[first], argv[first + 1]);
}
