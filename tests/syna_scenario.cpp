#include "syna_scenario.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>

#include "syna_helpers.h"

namespace synatest {
namespace {

// Carries out a step other than Play.
void apply(const Step &st) {
    switch (st.kind) {
    case Step::SetVol: syna_setvol(st.a, st.f); break;
    case Step::SetBpm: syna_setbpm(st.a); break;
    case Step::Trig: syna_trig(st.a, st.b); break;
    case Step::Mute: syna_mute(st.a, st.b, st.c); break;
    case Step::Transpose: syna_transpose(st.a, st.b); break;
    case Step::SetCounter: syna_counter = st.a; break;
    case Step::Play: break;
    }
}

std::string step_text(const Step &st) {
    std::ostringstream o;
    switch (st.kind) {
    case Step::Play: o << "play " << st.a; break;
    case Step::SetVol: o << "setvol " << st.a << " " << st.f; break;
    case Step::SetBpm: o << "setbpm " << st.a; break;
    case Step::Trig: o << "trig " << st.a << " " << st.b; break;
    case Step::Mute: o << "mute " << st.a << " " << st.b << " " << st.c; break;
    case Step::Transpose: o << "transpose " << st.a << " " << st.b; break;
    case Step::SetCounter: o << "counter " << st.a; break;
    }
    return o.str();
}

}  // namespace

Outcome run_scenario(const Scenario &s, Renderer render, bool capture_stdout) {
    Outcome o;
    fresh(s.rate);
    if (load(s.song) != 0) return o;
    o.loaded = true;
    if (capture_stdout) testing::internal::CaptureStdout();
    for (const Step &st : s.steps) {
        if (st.kind != Step::Play) {
            apply(st);
            continue;
        }
        const size_t at = o.samples.size();
        o.calls.push_back(static_cast<int>(at / 2));
        o.samples.resize(at + 2 * static_cast<size_t>(st.a));
        render(o.samples.data() + at, st.a);
    }
    if (capture_stdout) o.printed = testing::internal::GetCapturedStdout();
    o.state = state_fingerprint();
    return o;
}

namespace {

// Uniform choices from a fully specified generator, so that a seed gives the
// same scenario with every standard library.
struct Dice {
    std::mt19937 gen;
    explicit Dice(uint32_t seed) : gen(seed) {}
    int in(int lo, int hi) {  // lo..hi inclusive
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
        return static_cast<int>(lo + static_cast<int64_t>(gen() % span));
    }
    bool chance(int percent) { return in(0, 99) < percent; }
};

const char *const kCells[] = {
    "c1", "C1", "d1", "D1", "e1", "f1", "F1", "g1", "G1", "a1", "A1", "b1", "c2", "C2", "d2",
    "D2", "e2", "f2", "F2", "g2", "G2", "a2", "A2", "b2", "c3", "C3", "d3", "D3", "e3", "f3",
    "F3", "g3", "G3", "a3", "A3", "b3", "c4", "C4", "d4", "D4", "e4", "f4", "F4", "g4", "G4",
    "a4", "A4", "b4", "c5", "C5", "d5", "D5", "e5", "f5", "F5", "g5", "G5", "a5", "A5", "b5",
    "c6", "C6", "d6", "D6", "e6", "f6", "F6", "g6", "G6", "a6", "A6", "b6"};
const char *const kWaves[] = {"kantti", "sini", "saha", "kohina"};

std::string instrument_line(Dice &d, int slot, bool long_tails) {
    std::ostringstream o;
    o << "i" << slot << ":" << kWaves[d.in(0, 3)] << "," << (d.chance(15) ? 0 : d.in(1, 300)) << ","
      << (d.chance(20) ? 0 : d.in(1, 400)) << "," << (d.chance(20) ? 0 : d.in(1, 3000)) << ","
      << (d.chance(10) ? 0 : d.in(1, long_tails ? 2000 : 7000)) << ",";
    const int rm = d.in(0, 9);
    o << (rm < 6 ? 0 : rm < 9 ? d.in(1, 2500) : d.in(1000000, 60000000));
    const bool sweep = d.chance(60), pan = d.chance(50), lowpass = long_tails || d.chance(40);
    if (sweep || pan || lowpass) o << "," << (sweep ? d.in(-400, 400) : 0);
    if (pan || lowpass) o << "," << (pan ? d.in(-20, 120) : (slot % 2 == 0 ? 60 : 40));
    if (lowpass) {
        // Mostly stable filters; some at or beyond 1 (they hold or grow).
        int k = long_tails ? d.in(90, 99) : d.in(1, 99);
        if (!long_tails && d.chance(10)) k = d.chance(50) ? d.in(100, 104) : d.in(-130, -1);
        o << "," << k;
    }
    return o.str();
}

std::string pattern_line(Dice &d, int number, bool long_tails) {
    std::ostringstream o;
    o << "p" << number << ":";
    const int cells = d.in(1, long_tails ? 40 : 24);
    for (int c = 0; c < cells; ++c) {
        if (c) o << ",";
        const int roll = d.in(0, 99);
        if (long_tails) {
            if (c == 0)
                o << "echo1";
            else if (roll < 4)
                o << kCells[d.in(0, 71)];
            else
                o << "0";
            continue;
        }
        if (roll < 45)
            o << kCells[d.in(0, 71)];
        else if (roll < 68)
            o << "0";
        else if (roll < 74)
            o << "echo1";
        else if (roll < 78)
            o << "echo0";
        else if (roll < 84)
            o << "stop";
        else if (roll < 92)
            o << "vol," << (d.chance(10) ? d.in(-50, 0) : d.in(1, 220));
        else
            o << "sld," << (d.chance(30) ? 0 : d.in(-40, 40));
    }
    return o.str();
}

}  // namespace

Scenario random_scenario(uint32_t seed, bool long_tails) {
    Dice d(seed);
    Scenario s;
    const int rates[] = {44100, 44100, 44100, 22050, 48000, 8000};
    s.rate = long_tails ? 44100 : rates[d.in(0, 5)];
    std::ostringstream song;
    const int bpms[] = {125, 140, 60, 300, 1000, 5000, 20000};
    const int bpm = d.chance(50) ? bpms[d.in(0, 6)] : d.in(30, 3000);
    song << "bpm:" << (long_tails ? d.in(100, 180) : bpm) << "\n";
    // Mostly up to ten channels; sometimes more, so that channel 11 prints.
    const int channels = long_tails ? 28 : d.chance(8) ? d.in(11, 14) : d.in(1, 10);
    for (int ch = 1; ch <= channels; ++ch) song << instrument_line(d, ch, long_tails) << "\n";
    const int npat = d.in(1, 12);
    for (int p = 1; p <= npat; ++p) song << pattern_line(d, p, long_tails) << "\n";
    for (int ch = 1; ch <= channels; ++ch) {
        song << "t" << ch << ":";
        const int entries = d.in(1, 8);
        for (int e = 0; e < entries; ++e) song << (e ? "," : "") << "p" << d.in(1, npat);
        if (d.chance(70)) song << ",loop";
        song << "\n";
    }
    s.song = song.str();

    const int total = long_tails ? 44100 * 20 : d.in(20000, 70000);
    if (d.chance(5)) {  // a host that rewinds the clock, or runs it across the int wrap
        Step st{Step::SetCounter};
        st.a = d.chance(50) ? INT_MAX - d.in(0, total) : -d.in(1, 5000000);
        s.steps.push_back(st);
    }
    for (int done = 0; done < total;) {
        Step play{Step::Play};
        const int kind = d.in(0, 9);
        play.a = kind == 0 ? d.in(0, 3) : kind < 4 ? d.in(1, 600) : d.in(1, 9000);
        play.a = std::min(play.a, total - done);
        s.steps.push_back(play);
        done += play.a;
        if (long_tails || !d.chance(30)) continue;
        Step call{static_cast<Step::Kind>(d.in(Step::SetVol, Step::Transpose))};
        call.a = d.chance(90) ? d.in(1, channels) : d.in(-2, 31);
        switch (call.kind) {
        case Step::SetVol: {
            const int v = d.in(0, 19);
            call.f = v == 0  ? std::numeric_limits<float>::infinity()
                     : v < 3 ? -static_cast<float>(d.in(1, 100)) * 0.01f
                     : v < 5 ? 0.0f
                             : static_cast<float>(d.in(1, 200)) * 0.01f;
            break;
        }
        case Step::SetBpm: call.a = d.chance(10) ? d.in(-5, 2) : d.in(3, 20000); break;
        case Step::Trig: call.b = d.in(-3, 75); break;
        case Step::Mute:
            call.b = d.chance(10) ? 256 : d.in(0, 1);
            call.c = d.in(0, 1);
            break;
        case Step::Transpose: call.b = d.in(-40, 40); break;
        default: break;
        }
        s.steps.push_back(call);
    }
    return s;
}

std::string describe(const Scenario &s) {
    std::ostringstream o;
    o << "rate " << s.rate << "\n" << s.song << "steps:";
    int frame = 0;
    for (const Step &st : s.steps) {
        if (st.kind == Step::Play)
            frame += st.a;
        else
            o << " @" << frame << " " << step_text(st);
    }
    o << " (" << frame << " frames)";
    return o.str();
}

Scenario scripted_scenario(const std::string &song_text, int default_frames) {
    Scenario s;
    s.song = song_text;
    struct Call {
        int frame;
        Step step;
    };
    std::vector<Call> calls;
    int frames = default_frames;
    std::istringstream in(song_text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#@", 0) != 0) continue;
        std::istringstream words(line.substr(2));
        std::string first, name;
        words >> first;
        if (first == "frames") {
            words >> frames;
            continue;
        }
        if (first == "rate") {
            words >> s.rate;
            continue;
        }
        Call c{std::stoi(first), Step{Step::Play}};
        words >> name;
        if (name == "setvol") {
            c.step.kind = Step::SetVol;
            words >> c.step.a >> c.step.f;
        } else if (name == "setbpm") {
            c.step.kind = Step::SetBpm;
            words >> c.step.a;
        } else if (name == "trig") {
            c.step.kind = Step::Trig;
            words >> c.step.a >> c.step.b;
        } else if (name == "mute") {
            c.step.kind = Step::Mute;
            words >> c.step.a >> c.step.b >> c.step.c;
        } else if (name == "transpose") {
            c.step.kind = Step::Transpose;
            words >> c.step.a >> c.step.b;
        } else if (name == "counter") {
            c.step.kind = Step::SetCounter;
            words >> c.step.a;
        } else {
            ADD_FAILURE() << "unknown script line: " << line;
            continue;
        }
        calls.push_back(c);
    }
    int done = 0;
    for (const Call &c : calls) {
        if (c.frame > done) {
            s.steps.push_back(Step{Step::Play, c.frame - done});
            done = c.frame;
        }
        s.steps.push_back(c.step);
    }
    if (frames > done) s.steps.push_back(Step{Step::Play, frames - done});
    return s;
}

}  // namespace synatest

namespace synatest {
namespace {

using namespace syna;

uint32_t hash32(const short *p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) {
        const uint16_t v = static_cast<uint16_t>(p[i]);
        h = (h ^ (v & 0xff)) * 16777619u;
        h = (h ^ (v >> 8)) * 16777619u;
    }
    return h;
}

struct Cursor {
    int track, pattern;
};

// The cell that channel ch carried out at the row that just started, given
// its cursor before the row: vol and sld move the cursor on to their
// parameter.
std::string cell_text(int ch, Cursor before) {
    if (track_pos[ch] < 0) return "end";
    const int *pat = patterns[tracks[ch][track_pos[ch]]];
    const bool same = before.track == track_pos[ch] && pattern_pos[ch] > before.pattern;
    const int first = same ? before.pattern + 1 : 0;
    int at = pattern_pos[ch];
    if (at > first && cell_entries(pat[at - 1]) == 2) --at;
    const int code = pat[at];
    char text[48];
    if (cell_entries(code) == 2)
        std::snprintf(text, sizeof text, "%s,%d", note_names[code], pat[at + 1]);
    else if (code >= 0 && code <= kEmpty)
        std::snprintf(text, sizeof text, "%s", code == kEmpty ? "-" : note_names[code]);
    else
        std::snprintf(text, sizeof text, "?%d", code);
    return text;
}

struct Row {
    int frame;
    int number;                      // syna_row
    bool starts;                     // false: frames that begin inside a row (the counter was set)
    std::vector<std::string> cells;  // per walked channel: the cell carried out
    std::vector<std::string> channels;  // per walked channel, without its solo hash
};

// Renders the scenario with syna_play, calls split at row starts. With solo
// > 0 every other walked channel is muted (and host mutes of them dropped).
std::vector<short> play_rows(const Scenario &s, int solo, std::vector<Row> *rows,
                             std::vector<std::pair<int, std::string>> *calls, int *walked) {
    std::vector<short> out;
    fresh(s.rate);
    if (load(s.song) != 0) {
        ADD_FAILURE() << "song refused: " << syna_error();
        return out;
    }
    const int channels = walked_channels();
    if (walked) *walked = channels;
    if (solo > 0)
        for (int ch = 1; ch <= channels; ++ch)
            if (ch != solo) syna_mute(ch, 1, 0);
    auto render = [&](int n) {
        const size_t at = out.size();
        out.resize(at + 2 * static_cast<size_t>(n));
        syna_play(out.data() + at, n);
    };
    int frame = 0;
    bool need_row = true;  // until a row starts: frames before one get a block of their own
    for (const Step &st : s.steps) {
        if (st.kind != Step::Play) {
            if (calls) calls->push_back({frame, step_text(st)});
            if (solo > 0 && st.kind == Step::Mute && st.a != solo) continue;
            apply(st);
            if (st.kind == Step::SetCounter) need_row = true;
            continue;
        }
        for (int left = st.a; left > 0;) {
            syna_play(nullptr, 0);  // a pending tempo applies now
            int r = row_samples > 0 ? syna_counter % row_samples : 1;
            if (r < 0) r += row_samples;
            const bool starts = r == 0 && row_samples > 0;
            Cursor before[kSlots];
            for (int ch = 1; ch <= channels; ++ch) before[ch] = {track_pos[ch], pattern_pos[ch]};
            if (starts || need_row) {
                need_row = false;
                render(1);
                if (rows) {
                    Row row{frame, syna_row, starts, {}, {}};
                    for (int ch = 1; ch <= channels; ++ch) {
                        row.cells.push_back(starts ? cell_text(ch, before[ch]) : "~");
                        char text[160];
                        const char *flags = chan_echo[ch] ? (chan_mute[ch] ? "EM" : "E")
                                                          : (chan_mute[ch] ? "M" : "");
                        std::snprintf(text, sizeof text,
                                      "  ch%-2d %-8s vol %-8.6g pos %-11.6g %-2s", ch,
                                      row.cells.back().c_str(), static_cast<double>(chan_vol[ch]),
                                      static_cast<double>(chan_pos[ch]), flags);
                        row.channels.push_back(text);
                    }
                    rows->push_back(row);
                }
                ++frame;
                --left;
                continue;
            }
            const int n = row_samples > 0 ? std::min(left, row_samples - r) : left;
            render(n);
            frame += n;
            left -= n;
        }
    }
    return out;
}

}  // namespace

std::string trace(const Scenario &s) {
    std::vector<Row> rows;
    std::vector<std::pair<int, std::string>> calls;
    int channels = 0;
    testing::internal::CaptureStdout();
    const std::vector<short> mix = play_rows(s, 0, &rows, &calls, &channels);
    const std::string printed = testing::internal::GetCapturedStdout();
    std::vector<std::vector<short>> solo(static_cast<size_t>(channels) + 1);
    testing::internal::CaptureStdout();
    for (int ch = 1; ch <= channels; ++ch) solo[ch] = play_rows(s, ch, nullptr, nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    const int frames = static_cast<int>(mix.size() / 2);

    // Rows in which no channel carries out a cell and no call comes run on
    // in one block, to keep long tails short.
    struct Block {
        size_t first, last;  // rows
        int from, to;        // frames
    };
    std::vector<Block> blocks;
    size_t call = 0;
    for (size_t k = 0; k < rows.size(); ++k) {
        const int from = rows[k].frame;
        const int to = k + 1 < rows.size() ? rows[k + 1].frame : frames;
        bool quiet = !blocks.empty() && rows[k].starts;
        for (const std::string &c : rows[k].cells) quiet &= c == "-" || c == "end";
        // A call since the block began ends it.
        for (; call < calls.size() && calls[call].first <= from; ++call) quiet = false;
        if (quiet && rows[blocks.back().last].starts) {
            blocks.back().last = k;
            blocks.back().to = to;
        } else {
            blocks.push_back({k, k, from, to});
        }
    }

    std::ostringstream o;
    o << "# " << frames << " frames at " << s.rate << " Hz, " << channels << " channels\n";
    call = 0;
    for (const Block &b : blocks) {
        for (; call < calls.size() && calls[call].first <= b.from; ++call)
            o << "@" << calls[call].first << " " << calls[call].second << "\n";
        const Row &r = rows[b.first];
        const int mid = b.from + (b.to - b.from) / 2;
        const size_t at = 2 * static_cast<size_t>(b.from),
                     n = 2 * static_cast<size_t>(b.to - b.from);
        char head[200];
        std::string name =
            std::string(r.starts ? "row " : "part of row ") + std::to_string(r.number);
        if (b.last > b.first)
            name = "rows " + std::to_string(r.number) + "-" + std::to_string(rows[b.last].number);
        std::snprintf(head, sizeof head, "%s @%d mix %08x | %d %d | %d %d | %d %d\n", name.c_str(),
                      b.from, hash32(&mix[at], n), mix[at], mix[at + 1], mix[2 * mid],
                      mix[2 * mid + 1], mix[at + n - 2], mix[at + n - 1]);
        o << head;
        for (int ch = 1; ch <= channels; ++ch) {
            char tail[32];
            std::snprintf(tail, sizeof tail, " | %08x\n", hash32(&solo[ch][at], n));
            o << r.channels[ch - 1] << tail;
        }
    }
    for (; call < calls.size(); ++call)
        o << "@" << calls[call].first << " " << calls[call].second << "\n";
    if (!printed.empty()) {
        std::string line = printed;
        for (char &c : line)
            if (c == '\n') c = ' ';
        o << "printed: " << line << "\n";
    }
    return o.str();
}

}  // namespace synatest
