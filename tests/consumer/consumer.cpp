// A C++ host of the installed module: consumer_cxx KEYS OUTPUT.wav (ASCII).
#include <DTMFWave.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: consumer_cxx KEYS OUTPUT.wav\n";
        return 2;
    }
    const std::string keys = argv[1];
    const std::string path = argv[2];
    const std::u16string wideKeys(keys.begin(), keys.end());
    const std::u16string widePath(path.begin(), path.end());
    errno = 0;
    const int32_t result = DTMFWaveCreate(wideKeys.c_str(), widePath.c_str());
    if (result != DTMFWAVE_RESULT || errno != 0) {
        std::cerr << "consumer_cxx: " << path << ": " << std::strerror(errno) << '\n';
        return 1;
    }
    return 0;
}
