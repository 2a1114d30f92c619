/* wav_out.h - writes 44.1 kHz 16-bit stereo as a WAV file or bare samples,
 * so that nothing half-written ever carries the output's name.
 *
 * Use:
 *     WavOut w;
 *     if (!wav_open(&w, path, raw, frames, &song_stat, &why)) ...;
 *     while (...) if (!wav_write(&w, samples, n, &why)) ...;
 *     if (!wav_finish(&w, &why)) ...;      // else wav_abort(&w)
 *
 * A regular file (or a new name) is written to a temporary file beside it,
 * which is renamed into place by wav_finish (cli/out_file.h); SIGINT,
 * SIGTERM and SIGHUP remove the temporary file, and a killed process leaves
 * only that hidden file (".kXXXXXX"), never a truncated NAME. "-" writes to
 * standard output and a device or fifo is written directly; there the WAV
 * header's sizes are written last when the output can seek, and up front
 * (for `frames`) when it cannot. The output is refused when it is the same
 * file (device and inode) as the song given by `input` (may be null).
 *
 * Limitations: one output per process; at most kOptionsMaxFrames frames.
 */
#ifndef KESTOVAR_WAV_OUT_H
#define KESTOVAR_WAV_OUT_H

#include <sys/stat.h>

#include <string>

#include "out_file.h"

struct WavOut {
    int fd = -1;
    bool raw = false;
    bool seekable = false;    // header sizes are patched at the end
    long long header_at = 0;  // file offset of the header
    long long frames = 0;     // frames written so far
    OutFile file;             // the named output (unused for standard output)
    std::string shown_name;   // for messages
};

bool wav_open(WavOut *w, const std::string &path, bool raw, long long frames,
              const struct stat *input, std::string *why);
bool wav_write(WavOut *w, const short *samples, int frames, std::string *why);
bool wav_finish(WavOut *w, std::string *why);
// Closes and removes a temporary file after a failure.
void wav_abort(WavOut *w);

#endif
