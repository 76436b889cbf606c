// Batch mode: one file for every KEYS<TAB>OUTPUT.wav line.
#include "Host.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#  include <cstdio>
#endif

namespace {

std::FILE* textFileOpen(const std::string& utf8)
{
#ifdef _WIN32
    const std::optional<std::u16string> utf16 = utf16FromUtf8(utf8);
    return utf16 ? _wfopen(moduleText(*utf16), L"r") : nullptr;
#else
    return std::fopen(utf8.c_str(), "r");
#endif
}

// Editors on Windows start a UTF-8 file with a byte-order mark; it is no
// key, and left in it would be a silent slot at the start of the first file.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// A file saved as UTF-16 (Notepad's "Unicode", PowerShell's > redirection)
// starts with its byte-order mark, and every other byte of it is a NUL: each
// line would fail on its own, none saying why. The whole file is refused.
bool isUtf16ByteOrderMark(const std::string& firstLine)
{
    return firstLine.rfind("\xFF\xFE", 0) == 0 || firstLine.rfind("\xFE\xFF", 0) == 0;
}

// The next line of input, without its newline; false once input holds no
// more. A last line without a newline is still a line.
bool lineRead(std::FILE* input, std::string& line)
{
    line.clear();
    int c = std::fgetc(input);
    for (; c != EOF && c != '\n'; c = std::fgetc(input)) {
        line.push_back(static_cast<char>(c));
    }
    return c == '\n' || !line.empty();
}

// Drops a UTF-8 byte-order mark from the first line; false, with the
// reason reported, for a UTF-16 file.
bool byteOrderMarkTake(std::string& firstLine, const std::string& name)
{
    if (firstLine.rfind(kUtf8ByteOrderMark, 0) == 0) {
        firstLine.erase(0, kUtf8ByteOrderMark.size());
    } else if (isUtf16ByteOrderMark(firstLine)) {
        report("%s:1: the file is UTF-16; save it as UTF-8", name.c_str());
        return false;
    }
    return true;
}

} // namespace

// One line of a batch: KEYS, a tab, OUTPUT.wav. A bad line or a file that
// cannot be written fails that line alone.
namespace {

bool batchLineRun(std::string line, const std::string& where, bool quiet)
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
    if (line.compare(tab + 1, std::string::npos, kStandardStream) == 0) {
        report("%s'-' (standard output) takes a single file, not a batch line", where.c_str());
        return false;
    }
    return waveWrite(line.substr(0, tab), line.substr(tab + 1), where, quiet) == kExitSuccess;
}

} // namespace

int batchRun(const std::string& source, bool quiet)
{
    const bool fromStdin = source == "-";
    std::FILE* input = fromStdin ? stdin : textFileOpen(source);
    if (!input) {
        report("cannot read '%s': %s", source.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    // On a terminal the user watches the batch: a progress line while it
    // runs, and a summary when it is done. Elsewhere the output is read by
    // scripts, which have the exit status and the failed lines' messages.
    const bool watched = !quiet && isTerminal(stderr);
    if (watched) {
        progressEnable();
    }
    const std::string name = fromStdin ? "<stdin>" : source;
    std::size_t written = 0;
    std::size_t failed = 0;
    std::string line;
    for (std::size_t lineNumber = 1; lineRead(input, line); ++lineNumber) {
        if (lineNumber == 1 && !byteOrderMarkTake(line, name)) {
            ++failed;
            break;
        }
        // Blank lines separate groups of a test set; they are not errors.
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
            ++(batchLineRun(line, where, quiet) ? written : failed);
            progressShow(lineNumber, written, failed);
        }
    }
    progressWipe();
    if (std::ferror(input)) {
        report("error reading '%s': %s", name.c_str(), std::strerror(errno));
        ++failed;
    }
    if (watched) {
        report("%s: %zu written, %zu failed", name.c_str(), written, failed);
    }
    if (!fromStdin) {
        (void)std::fclose(input); // read to the end already; nothing is lost
    }
    return failed == 0 ? kExitSuccess : kExitFailure;
}
