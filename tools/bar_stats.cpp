/* bar_stats.cpp - see bar_stats.h. */
#include "bar_stats.h"

#include <math.h>

#include <algorithm>

#include "show.h"
#include "syna_host.h"

long long stats_bar_of(long long frame, int row_samples) {
    const long long row = row_samples > 0 ? frame / row_samples : 0;
    return row <= 0 ? 0 : (row - 1) / kStatsRowsPerBar;
}

void stats_add_block(std::vector<BarLevel> &bars, long long first_frame, const short *samples,
                     int frames, int row_samples) {
    for (int i = 0; i < frames; ++i) {
        const size_t bar = (size_t)stats_bar_of(first_frame + i, row_samples);
        if (bar >= bars.size()) bars.resize(bar + 1);
        BarLevel &b = bars[bar];
        for (int s = 0; s < 2; ++s) {
            const short v = samples[2 * i + s];
            b.sumsq += (double)v * v;
            b.samples += 1;
            if (v >= kStatsClipValue || v <= -kStatsClipValue) b.clipped += 1;
        }
    }
}

BarLevel stats_total(const std::vector<BarLevel> &bars) {
    BarLevel t;
    for (const BarLevel &b : bars) {
        t.sumsq += b.sumsq;
        t.samples += b.samples;
        t.clipped += b.clipped;
    }
    return t;
}

double stats_dbfs(const BarLevel &b) {
    if (b.samples == 0 || b.sumsq <= 0) return -INFINITY;
    return 20.0 * log10(sqrt(b.sumsq / (double)b.samples) / 32768.0);
}

bool stats_solo(const char *text, size_t length, int channel, long long frames,
                std::vector<BarLevel> *bars, std::string *why,
                void (*after_block)(long long done)) {
    if (syna_fresh(SHOW_RATE, text, length) != SYNA_OK) {
        *why = syna_error();
        return false;
    }
    // Only walked channels play, so muting the other walked ones leaves it alone.
    for (int c = 1; c <= syna_channels(); ++c)
        if (c != channel) syna_mute(c, 1, 0);
    bars->clear();
    struct Solo {
        std::vector<BarLevel> *bars;
        int row_samples;
        void (*after_block)(long long done);
    } solo{bars, syna_row_frames(), after_block};
    show_render_frames(
        0, frames, nullptr,
        [](const int16_t *block, long long first, int n, void *user) {
            const Solo &s = *static_cast<const Solo *>(user);
            stats_add_block(*s.bars, first, block, n, s.row_samples);
            if (s.after_block) s.after_block(first + n);
            return 0;
        },
        &solo);
    return true;
}

namespace {

std::string db_text(const BarLevel &b) {
    const double db = stats_dbfs(b);
    if (isinf(db)) return "-inf";
    char s[32];
    snprintf(s, sizeof s, "%.1f", db);
    return s;
}

}  // namespace

void stats_print(FILE *out, const std::vector<BarLevel> &mix,
                 const std::vector<std::vector<BarLevel>> &solos, long long frames) {
    const int channels = (int)solos.size();
    fprintf(out, "RMS per bar (16 rows) in dBFS; channels are solo renders\n");
    fprintf(out, "%5s %7s", "bar", "mix");
    for (int ch = 1; ch <= channels; ++ch)
        fprintf(out, " %7s", ("ch" + std::to_string(ch)).c_str());
    fprintf(out, " %8s\n", "clipped");
    auto row = [&](const char *label, const BarLevel &m, auto level_of) {
        fprintf(out, "%5s %7s", label, db_text(m).c_str());
        for (int ch = 0; ch < channels; ++ch) fprintf(out, " %7s", db_text(level_of(ch)).c_str());
        fprintf(out, " %8lld\n", m.clipped);
    };
    for (size_t i = 0; i < mix.size(); ++i) {
        const std::string label = std::to_string(i);
        row(label.c_str(), mix[i],
            [&](int ch) { return i < solos[ch].size() ? solos[ch][i] : BarLevel{}; });
    }
    const BarLevel all = stats_total(mix);
    row("all", all, [&](int ch) { return stats_total(solos[ch]); });
    const long long samples = frames * 2;
    fprintf(out, "clipped samples: %lld of %lld (%.4f%%)\n", all.clipped, samples,
            samples ? 100.0 * (double)all.clipped / (double)samples : 0.0);
    fprintf(out, "channels: %d\n", channels);
}

void stats_warn(FILE *out, const std::vector<BarLevel> &mix) {
    const int channels = syna_channels();
    for (int ch = 1; ch <= channels; ++ch) {
        // The song's fields, as written (the parser stores field x 0.01).
        float pan_field = 0, lowpass_field = 0;
        syna_channel_setup(ch, &pan_field, &lowpass_field);
        const double pan = (double)pan_field, lowpass = (double)lowpass_field;
        if (!(pan >= 0.0 && pan <= 1.0))
            fprintf(out,
                    "warning: channel %d: pan %.0f is outside 0..100: louder than full on one "
                    "side, inverted on the other\n",
                    ch, pan * 100.0);
        if (!(fabs(lowpass) < 1.0))
            fprintf(out,
                    "warning: channel %d: low-pass %.0f is outside -99..99: the filter does "
                    "not settle and can saturate the mix\n",
                    ch, lowpass * 100.0);
    }
    const BarLevel all = stats_total(mix);
    if (all.samples > 0 && (double)all.clipped > 0.001 * (double)all.samples)
        fprintf(out, "warning: %.2f%% of the samples are clipped: the mix saturates\n",
                100.0 * (double)all.clipped / (double)all.samples);
}
