/* A C host of the installed module, included the way the installed layout
 * offers: consumer KEYS OUTPUT.wav (ASCII), or consumer --version, which
 * prints the header's version macros, the four numbers and the string. */
#include <vuzirizoruza/DTMFWave.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DTMFWideChar* widen(const char* ascii)
{
    size_t length = strlen(ascii);
    DTMFWideChar* wide = malloc((length + 1) * sizeof *wide);
    if (wide) {
        for (size_t i = 0; i <= length; ++i) {
            wide[i] = (DTMFWideChar)(unsigned char)ascii[i];
        }
    }
    return wide;
}

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("%d.%d.%d.%d %s\n", DTMFWAVE_VERSION_MAJOR, DTMFWAVE_VERSION_MINOR, DTMFWAVE_VERSION_PATCH,
               DTMFWAVE_VERSION_TWEAK, DTMFWAVE_VERSION_STRING);
        return 0;
    }
    if (argc != 3) {
        fputs("usage: consumer KEYS OUTPUT.wav | --version\n", stderr);
        return 2;
    }
    DTMFWideChar* keys = widen(argv[1]);
    DTMFWideChar* path = widen(argv[2]);
    errno = 0;
    int32_t result = (keys && path) ? DTMFWaveCreate(keys, path) : 0;
    int reason = errno;
    free(keys);
    free(path);
    if (result != DTMFWAVE_RESULT || reason != 0) {
        fprintf(stderr, "consumer: %s: %s\n", argv[2], strerror(reason));
        return 1;
    }
    return 0;
}
