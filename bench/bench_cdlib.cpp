// Times the audio-CD library: reading a whole disc image as fast as it
// goes, and encoding raw PCM to WMA. Prints "name seconds" lines for
// bench/run.sh, which sets them against their baselines.
//   bench_cdlib read            (reads every track of the first drive)
//   bench_cdlib wma PCM OUT     (PCM: 16-bit stereo 44.1 kHz little-endian)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "cdlib/cdlib.h"

static double now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

static int bench_read()
{
    int tracks = BASS_CD_GetTracks(0);
    if (tracks <= 0) {
        fprintf(stderr, "no disc in the first drive\n");
        return 1;
    }
    std::vector<char> block(20000);
    double bytes = 0, start = now();
    HSTREAM stream = 0;
    for (int t = 0; t < tracks; ++t) {
        if (BASS_CD_GetTrackLength(0, t) == 0xFFFFFFFFu) continue;
        if (stream) BASS_CD_StreamSetTrack(stream, t);
        else stream = BASS_CD_StreamCreate(0, t, BASS_STREAM_DECODE);
        BASS_ChannelPlay(stream, 0);
        while (BASS_ChannelIsActive(stream)) {
            CDLIB_DWORD got = BASS_ChannelGetData(stream, block.data(), 20000);
            if (got == 0xFFFFFFFFu) return 1;
            bytes += got;
        }
    }
    double took = now() - start;
    printf("read_audio_seconds %.3f\nread_wall_seconds %.3f\n", bytes / 176400.0, took);
    return 0;
}

static int bench_wma(const char* pcm_path, const char* out_path)
{
    FILE* in = fopen(pcm_path, "rb");
    if (!in) return 1;
    std::vector<char> pcm;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) pcm.insert(pcm.end(), buffer, buffer + n);
    fclose(in);
    double start = now();
    HWMENCODE encoder = BASS_WMA_EncodeOpenFile(44100, 2, BASS_WMA_ENCODE_TAGS, 128000, out_path);
    if (!encoder) return 1;
    for (size_t at = 0; at < pcm.size(); at += 20000) {
        size_t len = pcm.size() - at < 20000 ? pcm.size() - at : 20000;
        BASS_WMA_EncodeWrite(encoder, pcm.data() + at, static_cast<CDLIB_DWORD>(len));
    }
    BASS_WMA_EncodeClose(encoder);
    printf("wma_audio_seconds %.3f\nwma_wall_seconds %.3f\n", pcm.size() / 176400.0, now() - start);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && strcmp(argv[1], "read") == 0) return bench_read();
    if (argc >= 4 && strcmp(argv[1], "wma") == 0) return bench_wma(argv[2], argv[3]);
    fprintf(stderr, "usage: bench_cdlib read | wma PCM OUT\n");
    return 2;
}
