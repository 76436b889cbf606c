// The calls themselves, kept apart so that a test which loads the module
// with dlopen links without them.
#include "ReliabilitySupport.h"

#include <cerrno>
#include <map>
#include <mutex>

int waveCreateErrno(const std::string& keys, const std::string& path, int entryErrno)
{
    const std::u16string wideKeys = widen(keys);
    const std::u16string widePath = widen(path);
    errno = entryErrno;
    DTMFWaveCreate(wideKeys.c_str(), widePath.c_str());
    return errno;
}

const Bytes& loneCallBytes(const std::string& keys)
{
    static std::mutex lock;
    static std::map<std::string, Bytes> made;
    const std::lock_guard<std::mutex> guard(lock);
    auto found = made.find(keys);
    if (found == made.end()) {
        const TempFolder folder;
        waveCreateErrno(keys, folder.file("lone.wav"));
        found = made.emplace(keys, fileBytes(folder.file("lone.wav"))).first;
    }
    return found->second;
}
