/* bar_stats.h - per-bar loudness of a render, of the mix and of each channel
 * alone, as syna-render --stats prints it and the song test checks it.
 *
 * Use:
 *     std::vector<BarLevel> mix;
 *     stats_add_block(mix, first_frame, samples, frames, syna_row_frames());
 *     stats_solo(text, length, channel, frames, &solo, &why);  // a channel alone
 *     stats_print(stdout, mix, solos, frames);
 *
 * Bars are the song's musical bars of 16 rows: songs spend row 0 on a
 * one-row opening pattern, so bar n is rows 16n+1 .. 16n+16 and row 0
 * counts with bar 0. A frame's row comes from its index, so a render must
 * start at frame 0 of the song and keep one tempo (no syna_setbpm).
 *
 * Solo renders: channels do not influence each other's state, only the sum,
 * so a channel's share is a render of the song with every other channel
 * muted. stats_solo starts from the state of a fresh process (syna_fresh) and
 * parses the song again, so only one song is held at a time.
 *
 * Limitations: renders run on the caller's thread, one after another.
 */
#ifndef KESTOVAR_BAR_STATS_H
#define KESTOVAR_BAR_STATS_H

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <vector>

struct BarLevel {
    double sumsq = 0;       // sum of squared samples, both sides
    long long samples = 0;  // samples counted (two per frame)
    long long clipped = 0;  // samples at the mixer's clip bound
};

constexpr int kStatsRowsPerBar = 16;
constexpr int kStatsClipValue = 32766;  // 3.0 x 10922

// Bar of frame `frame` for rows of `row_samples` frames.
long long stats_bar_of(long long frame, int row_samples);
// Adds `frames` stereo frames, the first at song frame `first_frame`.
void stats_add_block(std::vector<BarLevel> &bars, long long first_frame, const short *samples,
                     int frames, int row_samples);
BarLevel stats_total(const std::vector<BarLevel> &bars);
// RMS level in dBFS, -infinity for silence.
double stats_dbfs(const BarLevel &b);

// Resets the synthesizer, parses the song and renders `frames` frames in
// the show's blocks with every channel but `channel` muted, calling
// after_block (may be null) with the frames done. False with a reason when
// the song is rejected.
bool stats_solo(const char *text, size_t length, int channel, long long frames,
                std::vector<BarLevel> *bars, std::string *why, void (*after_block)(long long done));

// The table: one line per bar, then "all"; channels 1..solos.size().
void stats_print(FILE *out, const std::vector<BarLevel> &mix,
                 const std::vector<std::vector<BarLevel>> &solos, long long frames);
// Warnings (on `out`) for what a song sets as is but which saturates: a pan
// outside 0..100 or a low-pass whose filter is unstable (|k| >= 1) on a
// channel of the song the synthesizer holds, and more than 0.1 % of the
// mix's samples clipped. Call it before the solo renders replace the song.
void stats_warn(FILE *out, const std::vector<BarLevel> &mix);

#endif
