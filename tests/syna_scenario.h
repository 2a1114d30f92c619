/* syna_scenario.h - songs with a script of host calls, for the tests that
 * hold syna_play to the plain frame-by-frame mixer.
 *
 * A scenario is a song text, a sample rate and a list of steps: render n
 * frames, or one live-control call, or set the frame counter as a host that
 * rewinds it would. run_scenario plays it from a fresh synthesizer with the
 * renderer given, so the fast and the plain path can be compared in one
 * process. random_scenario makes a valid random one from a seed: random
 * tempo, instruments of every waveform with ring modulation, sweeps, pan and
 * low-pass (stable or not), patterns of every cell kind, looping or ending
 * tracks, calls split at random, and live control between calls.
 */
#ifndef KESTOVAR_TESTS_SYNA_SCENARIO_H
#define KESTOVAR_TESTS_SYNA_SCENARIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace synatest {

struct Step {
    enum Kind { Play, SetVol, SetBpm, Trig, Mute, Transpose, SetCounter } kind;
    int a = 0, b = 0, c = 0;  // frames / channel, note, mute, ... by kind
    float f = 0.0f;           // the volume of SetVol
};

struct Scenario {
    int rate = 44100;
    std::string song;
    std::vector<Step> steps;
};

using Renderer = void (*)(short *out, int frames);

struct Outcome {
    bool loaded = false;
    std::vector<short> samples;
    std::string printed;     // standard output during the renders (channel 11's rows)
    uint64_t state = 0;      // state_fingerprint() at the end
    std::vector<int> calls;  // frame index at which each render call started
};

// Plays the scenario from a fresh synthesizer. Standard output is captured
// when capture_stdout is set (GoogleTest's capture).
Outcome run_scenario(const Scenario &s, Renderer render, bool capture_stdout);

// A random valid scenario; `long_tails` makes every channel a long echo and
// filter tail (few notes, echo on, low-pass near 1).
Scenario random_scenario(uint32_t seed, bool long_tails = false);

// Readable form of the steps, for failure messages.
std::string describe(const Scenario &s);

// A readable trace of the scenario rendered by syna_play, one block per row:
//   row 3 @15876 mix 1a2b3c4d | 120 -5 | 88 2 | 0 0
//     ch1 c4     vol 0.5    pos 1.0038     E | 9f8e7d6c
// the row's first frame, a hash of its samples and the samples of its first,
// middle and last frame; then per walked channel the cell carried out at the
// row, volume, the voice position after the row's first frame, E when the
// echo send is on and M when muted, and a hash of the row's samples with only
// that channel unmuted. Host calls appear as "@frame call" lines. A changed
// render thus names its row and channel.
std::string trace(const Scenario &s);

// Reads the "#@ frame call args" lines of a song file: host calls made
// when the render reaches that frame, and "#@ frames N", the render length.
Scenario scripted_scenario(const std::string &song_text, int default_frames);

}  // namespace synatest

#endif
