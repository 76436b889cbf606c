// The pieces of dtmfwave that its files share: the command line, text,
// messages, the writing of one file, standard output and batches.
#ifndef VUZIRIZORURUZA_CLI_HOST_H
#define VUZIRIZORURUZA_CLI_HOST_H

#include "DTMFWave.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// OUTPUT.wav for standard output, and --batch FILE for standard input.
inline constexpr std::string_view kStandardStream = "-";

// HostArguments.cpp
struct Options {
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> batch;
    std::vector<std::string> operands;
};
// Reads args (args[0] is the program) into options. On a usage error it
// says what is wrong and returns the exit status.
std::optional<int> argumentsParse(const std::vector<std::string>& args, Options& options);
void usagePrint(std::FILE* out);
// The one-line usage, on standard error, after a message about a mistake.
void shortUsagePrint();
// Reports message and the one-line usage; returns kExitUsage.
int usageFail(const std::string& message);
// What is wrong with operands that are not exactly KEYS and OUTPUT.wav.
std::string operandsProblem(const std::vector<std::string>& operands);

// HostText.cpp
// Decodes strict UTF-8 into UTF-16; rejects overlong forms, surrogates and
// anything past U+10FFFF, since the module could only turn them into '?'.
std::optional<std::u16string> utf16FromUtf8(std::string_view text);
// How many bytes the UTF-8 sequence that starts with lead takes.
std::size_t utf8SequenceLength(unsigned char lead);
// The module's character type is char16_t or, on Windows, the 16-bit
// wchar_t: the same UTF-16 units either way.
const DTMFWideChar* moduleText(const std::u16string& text);

// HostMessages.cpp
// Every message of the host: one line on standard error, prefixed with the
// program's name.
#if defined(__MINGW32__)
// MinGW's C++ runtime uses its own printf, with %zu, not the system's.
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void report(const char* format, ...);
bool isTerminal(std::FILE* stream);
// Tells the user which characters will be silent; where prefixes the note
// with the batch line it belongs to, if any.
void silentSlotsReport(std::string_view keys, const std::string& where);
// A batch run on a terminal shows how far it has got on one line of
// standard error, rewritten in place; every other message first wipes it.
void progressEnable();
void progressShow(std::size_t lineNumber, std::size_t written, std::size_t failed);
void progressWipe();

// HostWrite.cpp
// Sets up what the host does about signals, once, before the first file.
void signalsPrepare();
// One call of the module; returns errno as the call left it, 0 when the
// file was written.
int moduleCall(const DTMFWideChar* keys, const DTMFWideChar* path);
// Writes one file, or with OUTPUT.wav '-' the WAVE to standard output.
// Returns kExitSuccess, or reports why not (prefixed by where) and returns
// kExitFailure, or kExitUsage for arguments that are not UTF-8.
int waveWrite(const std::string& keysUtf8, const std::string& pathUtf8, const std::string& where, bool quiet);

// HostStandardOutput*.cpp
// Writes the WAVE of keys to standard output; returns 0 or the reason it
// could not.
int standardOutputWrite(const std::u16string& keys);

// HostBatch.cpp
// Writes every KEYS<TAB>OUTPUT.wav line of source ('-': standard input).
int batchRun(const std::string& source, bool quiet);

#endif
