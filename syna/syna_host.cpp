/* syna_host.cpp - the host face (see syna_host.h). */
#include "syna_host.h"

#include <cstdio>

#include "syna_internal.h"

using namespace syna;

extern "C" void syna_reset(void) { reset(); }

extern "C" int syna_fresh(int rate, const char *text, size_t length) {
    reset();
    syna_init(rate);
    return syna_getn(text, length);
}

extern "C" int syna_channels(void) { return walked_channels(); }

extern "C" int syna_row_frames(void) { return row_samples; }

extern "C" int syna_channel_setup(int channel, float *pan, float *lowpass) {
    if (channel < 1 || channel > walked_channels()) return -1;
    if (pan) *pan = chan_pan[channel];
    if (lowpass) *lowpass = chan_lowpass[channel];
    return 0;
}

extern "C" long long syna_sample_floats(void) {
    long long floats = 0;
    for (int ch = 0; ch < kSlots; ++ch)
        floats += static_cast<long long>(inst_sample[ch].size() + echo_line[ch].size());
    return floats;
}

extern "C" void syna_print_row(int row) { std::printf("%d\n", row); }

extern "C" void syna_set_row_print(syna_row_print_fn print) { row_print = print; }

extern "C" void syna_play_plain(short *out, int frames) { play_reference(out, frames); }

extern "C" void syna_get_mix_counts(struct syna_mix_counts *counts) {
    counts->frames = mix_stats.frames;
    counts->voice_vector = mix_stats.voice_vector;
    counts->voice_checked = mix_stats.voice_checked;
    counts->voice_exact = mix_stats.voice_exact;
    counts->echo_frames = mix_stats.echo_frames;
    counts->quiet_frames = mix_stats.quiet_frames;
    counts->lowpass_frames = mix_stats.lowpass_frames;
    counts->skipped_frames = mix_stats.skipped_frames;
    counts->plain_frames = mix_stats.plain_frames;
}
