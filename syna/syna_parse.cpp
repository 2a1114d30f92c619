/* syna_parse.cpp - the song text parser (syna_get, syna_getn), the file
 * loader (syna_load) and syna_error.
 *
 * Use: after syna_init, call syna_get(text) on a writable NUL-terminated
 * song text, syna_getn(bytes, length) or syna_load(path). A negative result
 * means the song was rejected; syna_error() then says why, with the line
 * number where there is one.
 *
 * How: the text is checked to be text within the size limit, compacted
 * (blanks and CRs removed), split into at most 1000 lines at line feeds, and
 * every line is parsed into a staging description. Only when every line,
 * every cross-line rule and the memory cap pass are the live tables written,
 * buffers allocated and instruments rendered, so a rejected song changes
 * nothing in the synthesizer (syna_get's text itself is still edited).
 *
 * Limits: not reentrant (module state); a song may rely on instruments,
 * patterns, tracks and tempo of an earlier accepted song, and the checks
 * take them into account. The loader reads at most one byte past the size
 * limit, whatever the file is (a device, a pipe), and trusts no seek length.
 */
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "syna_internal.h"

namespace syna {
namespace {

struct InstrumentLine {
    int line;
    int slot;
    Instrument ins;
    bool has_pan, has_lowpass;
    int pan, lowpass;
};

struct SequenceLine {  // a pattern or a track line
    int line;
    int number;
    std::vector<int> entries;  // without the end mark
};

struct Staging {
    bool has_tempo = false;
    int row_samples = 0, echo_length = 0;
    bool seen_instrument = false;
    std::vector<InstrumentLine> instruments;
    std::vector<SequenceLine> patterns, tracks;
    // Floats of every slot's instrument sample and echo line as the lines
    // read so far leave them, for the memory cap.
    long long slot_floats[kSlots] = {};

    Staging() {
        for (int n = 0; n < kSlots; ++n)
            slot_floats[n] = static_cast<long long>(inst_sample[n].size() + echo_line[n].size());
    }
};

int fail(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
int fail(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(synth.error_text, sizeof synth.error_text, fmt, ap);
    va_end(ap);
    return kRejected;
}

// atoi's rules (leading white space, optional sign, digits up to the first
// other character, no digits = 0), but a value outside int is reported
// instead of being undefined.
bool read_int(const char *s, int *out) {
    while (std::isspace(static_cast<unsigned char>(*s))) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = (*s++ == '-');
    long long v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + (*s++ - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    *out = static_cast<int>(v);
    return true;
}

int cell_code(const char *cell) {
    for (int code = 0; std::strcmp(note_names[code], "0") != 0; ++code)
        if (std::strcmp(note_names[code], cell) == 0) return code;
    return kEmpty;
}

int waveform_index(const char *word) {
    static const char *const names[4] = {"kantti", "sini", "saha", "kohina"};
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(names[i], word) == 0) return i;
    return -1;
}

int parse_tempo(int line, char **save, Staging &st) {
    if (st.seen_instrument) return fail("line %d: tempo line after an instrument line", line);
    const char *value = strtok_r(nullptr, ":", save);
    if (!value) return fail("line %d: tempo line without a value", line);
    int bpm;
    if (!read_int(value, &bpm)) return fail("line %d: tempo \"%s\" out of range", line, value);
    if (bpm < 3) return fail("line %d: tempo %d is below 3", line, bpm);
    int rows = row_length_for_bpm(bpm);
    if (rows <= 0) return fail("line %d: tempo %d gives no usable row length", line, bpm);
    st.has_tempo = true;
    st.row_samples = rows;
    st.echo_length = 3 * rows;
    return 0;
}

int parse_instrument(int line, const char *key, char **save, Staging &st) {
    st.seen_instrument = true;
    InstrumentLine il{};
    il.line = line;
    if (!read_int(key + 1, &il.slot) || il.slot < 0 || il.slot >= kSlots)
        return fail("line %d: instrument slot \"%s\" outside 0..29", line, key + 1);
    const int current_echo = st.has_tempo ? st.echo_length : echo_length;
    if (current_echo <= 0) return fail("line %d: instrument line before the tempo line", line);
    if (wave_length <= 0) return fail("line %d: sample rate too low for instruments", line);

    const char *field[9];
    int count = 0;
    while (count < 9 && (field[count] = strtok_r(nullptr, ",", save)) != nullptr) ++count;
    if (count < 6) return fail("line %d: instrument line needs 6 fields, has %d", line, count);
    il.ins.waveform = waveform_index(field[0]);
    if (il.ins.waveform < 0) return fail("line %d: unknown waveform \"%s\"", line, field[0]);

    int value[9] = {0};
    for (int f = 1; f < count; ++f)
        if (!read_int(field[f], &value[f]))
            return fail("line %d: number \"%s\" out of range", line, field[f]);
    il.ins.attack = value[1];
    il.ins.decay = value[2];
    il.ins.sustain = value[3];
    il.ins.release = value[4];
    il.ins.ring_mod = value[5];
    il.ins.sweep = count > 6 ? value[6] : 0;
    il.has_pan = count > 7;
    il.pan = value[7];
    il.has_lowpass = count > 8;
    il.lowpass = value[8];

    // Negative segment lengths are refused: the envelope would write past the
    // sample buffer whose length is computed from the same numbers.
    if (il.ins.attack < 0 || il.ins.decay < 0 || il.ins.sustain < 0 || il.ins.release < 0)
        return fail("line %d: negative segment length", line);
    // One cap for all buffers together: a short text must not be able to ask
    // for gigabytes, or for minutes of instrument synthesis.
    st.slot_floats[il.slot] =
        1LL + il.ins.attack + il.ins.decay + il.ins.sustain + il.ins.release + current_echo;
    long long floats = 0;
    for (long long f : st.slot_floats) floats += f;
    if (floats > SYNA_MAX_SAMPLE_FLOATS)
        return fail(
            "line %d: instruments and echo lines need %lld floats, more than the %d "
            "(16 MiB) allowed",
            line, floats, SYNA_MAX_SAMPLE_FLOATS);
    st.instruments.push_back(il);
    return 0;
}

int parse_pattern(int line, const char *key, char **save, Staging &st) {
    SequenceLine sl;
    sl.line = line;
    if (!read_int(key + 1, &sl.number) || sl.number < 0 || sl.number >= kPatterns)
        return fail("line %d: pattern number \"%s\" outside 0..999", line, key + 1);
    while (const char *cell = strtok_r(nullptr, ",", save)) {
        int code = cell_code(cell);
        sl.entries.push_back(code);
        if (cell_entries(code) == 2) {
            const char *param = strtok_r(nullptr, ",", save);
            if (!param) return fail("line %d: \"%s\" without a parameter", line, cell);
            int value;
            if (!read_int(param, &value))
                return fail("line %d: number \"%s\" out of range", line, param);
            sl.entries.push_back(value);
        }
        if (static_cast<int>(sl.entries.size()) > kEntries - 1)
            return fail("line %d: pattern %d has more than 99 entries", line, sl.number);
    }
    st.patterns.push_back(std::move(sl));
    return 0;
}

int parse_track(int line, const char *key, char **save, Staging &st) {
    SequenceLine sl;
    sl.line = line;
    if (!read_int(key + 1, &sl.number) || sl.number < 0 || sl.number >= kSlots)
        return fail("line %d: track number \"%s\" outside 0..29", line, key + 1);
    while (const char *entry = strtok_r(nullptr, ",", save)) {
        if (std::strcmp(entry, "loop") == 0) {
            if (sl.entries.empty())
                return fail("line %d: track %d begins with loop", line, sl.number);
            sl.entries.push_back(kLoop);
        } else {
            int p;
            if (!read_int(entry + 1, &p) || p < 0 || p >= kPatterns)
                return fail("line %d: track entry \"%s\" is not a pattern 0..999", line, entry);
            sl.entries.push_back(p);
        }
        if (static_cast<int>(sl.entries.size()) > kEntries - 1)
            return fail("line %d: track %d has more than 99 entries", line, sl.number);
    }
    st.tracks.push_back(std::move(sl));
    return 0;
}

// The tables as they will be once the staged song is applied.
struct FinalView {
    const Staging &st;
    const SequenceLine *track_line[kSlots] = {};
    const InstrumentLine *inst_line[kSlots] = {};
    std::vector<const SequenceLine *> pattern_line = std::vector<const SequenceLine *>(kPatterns);

    explicit FinalView(const Staging &s) : st(s) {
        for (const auto &t : st.tracks) track_line[t.number] = &t;
        for (const auto &i : st.instruments) inst_line[i.slot] = &i;
        for (const auto &p : st.patterns) pattern_line[p.number] = &p;
    }
    std::vector<int> track(int t) const {
        if (track_line[t]) return track_line[t]->entries;
        return std::vector<int>(tracks[t], tracks[t] + end_index(tracks[t]));
    }
    int pattern_cells(int p) const {
        if (pattern_line[p]) return static_cast<int>(pattern_line[p]->entries.size());
        return pattern_defined[p] ? end_index(patterns[p]) : 0;
    }
    int echo() const { return st.has_tempo ? st.echo_length : echo_length; }
    int rows() const { return st.has_tempo ? st.row_samples : row_samples; }
};

int check_song(const Staging &st) {
    FinalView v(st);
    if (!v.track(kSlots - 1).empty())
        return fail("track 29 cannot be used: a song has at most tracks 1 to 28");
    for (int t = 1; t < kSlots - 1; ++t) {
        for (int e : v.track(t)) {
            if (e == kLoop) continue;
            if (v.pattern_cells(e) < 1)
                return fail("track %d names pattern %d, which has no cells", t, e);
        }
    }
    if (v.rows() <= 0) return fail("song has no tempo line");
    const int walked = channel_walk([&](int t) { return v.track(t).empty(); });
    for (int ch = 1; ch <= walked; ++ch) {
        if (v.inst_line[ch]) continue;  // gets a fresh echo line of the final length
        if (inst_sample[ch].empty()) return fail("track %d has no instrument line i%d", ch, ch);
        if (static_cast<int>(echo_line[ch].size()) < v.echo())
            return fail(
                "instrument %d has an echo line shorter than the new tempo needs; repeat its line",
                ch);
    }
    return 0;
}

// Whether a channel that played index `pos` of pattern `pat` can step on:
// the sequencer moves to pos + 1 and reads it as a cell, so pos + 1 must be
// where a cell starts or the end mark, as the sequencer walks the cells (a
// "vol" or "sld" parameter, even one of -2, is no cell).
bool resumable(const int *pat, int pos) {
    int i = 0;
    while (i < kEntries && pat[i] != kEnd && i <= pos) i += cell_entries(pat[i]);
    return i == pos + 1 && i < kEntries;
}

// A channel caught in the middle of a track or pattern that the new song
// rewrote could point past an end mark, or into a parameter that the
// sequencer would take for a cell; it restarts its track instead.
void repair_positions() {
    for (int ch = 1; ch < kSlots; ++ch) {
        if (chan_pos[ch] >= 0.0f && !(chan_pos[ch] < static_cast<float>(inst_length[ch])))
            chan_pos[ch] = -1.0f;
        if (track_pos[ch] < 0) continue;
        const int len = end_index(tracks[ch]);
        bool ok = track_pos[ch] < len && tracks[ch][track_pos[ch]] >= 0;
        if (ok) {
            const int p = tracks[ch][track_pos[ch]];
            ok = pattern_defined[p] && pattern_pos[ch] >= 0 &&
                 resumable(patterns[p], pattern_pos[ch]);
        }
        if (!ok) {
            track_pos[ch] = kNotStarted;
            pattern_pos[ch] = 0;
        }
    }
}

void apply_song(const Staging &st) {
    if (st.has_tempo) {
        row_samples = st.row_samples;
        echo_length = st.echo_length;
    }
    // Every line sets pan and low-pass in order (a line without them keeps the
    // slot's values); only the last line of a slot needs rendering.
    const InstrumentLine *last[kSlots] = {};
    for (const auto &il : st.instruments) {
        if (il.has_pan)
            chan_pan[il.slot] =
                static_cast<float>(static_cast<double>(static_cast<float>(il.pan)) * 0.01);
        if (il.has_lowpass)
            chan_lowpass[il.slot] =
                static_cast<float>(static_cast<double>(static_cast<float>(il.lowpass)) * 0.01);
        last[il.slot] = &il;
    }
    for (int n = 0; n < kSlots; ++n) {
        if (!last[n]) continue;
        echo_line[n].assign(static_cast<size_t>(echo_length), 0.0f);
        inst_sample[n] = render_instrument(last[n]->ins);
        inst_length[n] = static_cast<int>(inst_sample[n].size());
    }
    for (const auto &sl : st.patterns) {
        std::copy(sl.entries.begin(), sl.entries.end(), patterns[sl.number]);
        patterns[sl.number][sl.entries.size()] = kEnd;
        pattern_defined[sl.number] = true;
    }
    for (const auto &sl : st.tracks) {
        std::copy(sl.entries.begin(), sl.entries.end(), tracks[sl.number]);
        tracks[sl.number][sl.entries.size()] = kEnd;
    }
    repair_positions();
}

}  // namespace

namespace {

// Song text is text: a control character (other than tab, vertical tab,
// form feed, line feed and carriage return) or a NUL before the end means a
// binary or truncated file, which would otherwise parse as a silent or
// shortened song.
int check_text(const char *text, size_t length) {
    int line = 1;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
        } else if (c == 0) {
            return fail("line %d: NUL byte inside the song text", line);
        } else if ((c < 0x20 && c != '\t' && c != '\v' && c != '\f' && c != '\r') || c == 0x7f) {
            return fail("line %d: control character 0x%02x: not song text", line, c);
        }
    }
    return 0;
}

int too_long() { return fail("song text longer than %d bytes", SYNA_MAX_SONG_BYTES); }

// Parses a checked, NUL-terminated text in place.
int parse(char *song) {
    if (sample_rate <= 0) {
        if (rate_refused)
            return fail("sample rate %d outside %d..%d was refused by syna_init", refused_rate,
                        SYNA_MIN_RATE, SYNA_MAX_RATE);
        return fail("syna_init has not been called");
    }

    // Blanks and carriage returns carry no meaning anywhere.
    char *w = song;
    for (const char *r = song; *r; ++r)
        if (*r != ' ' && *r != '\r') *w++ = *r;
    *w = '\0';

    // Split at line feeds as strtok does (runs of line feeds are one split),
    // keeping each line's number in the text as written.
    char *line_ptr[kMaxLines];
    int line_no[kMaxLines];
    int lines = 0, number = 1;
    for (char *p = song; *p && lines < kMaxLines;) {
        if (*p == '\n') {
            ++number;
            ++p;
            continue;
        }
        line_ptr[lines] = p;
        line_no[lines] = number;
        ++lines;
        while (*p && *p != '\n') ++p;
        if (*p == '\n') {
            *p++ = '\0';
            ++number;
        }
    }
    if (lines == 0) return fail("empty song");

    Staging st;
    for (int i = 0; i < lines; ++i) {
        char *line = line_ptr[i];
        if (line[0] == '#') continue;
        char *save = nullptr;
        const char *key = strtok_r(line, ":", &save);
        if (!key) continue;
        int r = 0;
        if (std::strcmp(key, "bpm") == 0)
            r = parse_tempo(line_no[i], &save, st);
        else if (key[0] == 'i')
            r = parse_instrument(line_no[i], key, &save, st);
        else if (key[0] == 'p')
            r = parse_pattern(line_no[i], key, &save, st);
        else if (key[0] == 't')
            r = parse_track(line_no[i], key, &save, st);
        if (r < 0) return r;
    }
    if (int r = check_song(st); r < 0) return r;
    apply_song(st);
    return 0;
}

// Parses `length` bytes that need no NUL at their end, from a copy.
int parse_bytes(const char *text, size_t length) {
    if (length > static_cast<size_t>(SYNA_MAX_SONG_BYTES)) return too_long();
    if (int r = check_text(text, length); r < 0) return r;
    std::string copy(text, length);
    return parse(copy.data());
}

}  // namespace
}  // namespace syna

using namespace syna;

extern "C" int syna_get(char *song) {
    synth.error_text[0] = '\0';
    if (!song) return fail("no song text");
    const size_t length = strnlen(song, static_cast<size_t>(SYNA_MAX_SONG_BYTES) + 1);
    if (length > static_cast<size_t>(SYNA_MAX_SONG_BYTES)) return too_long();
    if (int r = check_text(song, length); r < 0) return r;
    return parse(song);
}

extern "C" int syna_getn(const char *text, size_t length) {
    synth.error_text[0] = '\0';
    if (!text && length > 0) return fail("no song text");
    return parse_bytes(text ? text : "", length);
}

extern "C" int syna_load(const char *path) {
    synth.error_text[0] = '\0';
    std::FILE *f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) {
        std::snprintf(synth.error_text, sizeof synth.error_text, "cannot open %s: %s",
                      path ? path : "(null)", std::strerror(errno));
        return kCannotOpen;
    }
    // Read up to one byte past the limit: the file's length is not trusted
    // (a directory, a device or a growing file has none that holds).
    std::string text;
    const size_t limit = static_cast<size_t>(SYNA_MAX_SONG_BYTES) + 1;
    char chunk[65536];
    while (text.size() < limit) {
        const size_t want = std::min(sizeof chunk, limit - text.size());
        const size_t got = std::fread(chunk, 1, want, f);
        text.append(chunk, got);
        if (got < want) break;
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        std::snprintf(synth.error_text, sizeof synth.error_text, "cannot read %s: %s", path,
                      std::strerror(err));
        return kCannotOpen;
    }
    return parse_bytes(text.data(), text.size());
}

extern "C" const char *syna_error(void) { return synth.error_text; }
