// A C++17 host of the installed module through DTMFWave.hpp:
//   consumer_cxx KEYS OUTPUT.wav            keys and path in UTF-8
//   consumer_cxx --utf16 KEYS OUTPUT.wav    the same keys (ASCII) as UTF-16
// A failure prints the error's category and value, then what() (which
// names the path), and exits 1.
// First the flat name of the C header, which the targets and pkg-config
// still offer; the companion would otherwise find it beside itself.
#include "DTMFWave.h"
#include "DTMFWave.hpp"

#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

int main(int argc, char** argv)
{
    const bool utf16 = argc == 4 && std::string_view(argv[1]) == "--utf16";
    if (argc != 3 && !utf16) {
        std::cerr << "usage: consumer_cxx [--utf16] KEYS OUTPUT.wav\n";
        return 2;
    }
    const std::string keys = argv[argc - 2];
    const std::string path = argv[argc - 1];
    try {
        if (utf16) {
            vuzirizoruza::waveCreate(std::u16string(keys.begin(), keys.end()), path);
        } else {
            vuzirizoruza::waveCreate(keys, path);
        }
    } catch (const std::system_error& error) {
        std::cerr << "consumer_cxx: " << error.code().category().name() << ':' << error.code().value() << ": "
                  << error.what() << '\n';
        return 1;
    }
    return 0;
}
