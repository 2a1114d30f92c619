// The song rendered on the worker thread is the song rendered on the main
// thread, byte for byte, with the same block reports in the same order. A
// small looping song with echo, pan and low-pass keeps the two renders
// quick.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "prerender_thread.h"
#include "show.h"
#include "syna.h"

namespace {

std::vector<int> blocks;
std::vector<pthread_t> threads;

void note_block(int block) {
    blocks.push_back(block);
    threads.push_back(pthread_self());
}

void load_song(const std::string &text) {
    const char *why = show_load(text.data(), text.size());
    ASSERT_EQ(why, nullptr) << why;
}

TEST(PrerenderThread, SameSongAsOnTheMainThread) {
    std::ifstream in(SYNA_SONGS_DIR "/good/echo_pan_lowpass.song");
    std::stringstream text;
    text << in.rdbuf();
    const std::string song = text.str();
    ASSERT_FALSE(song.empty());

    load_song(song);
    show_prerender(note_block);
    const std::vector<int16_t> here(mixed, mixed + SHOW_SAMPLES);
    const std::vector<int> here_blocks = blocks;

    std::memset(mixed, 0, sizeof mixed);
    blocks.clear();
    threads.clear();
    load_song(song);
    prerender_begin(note_block);
    prerender_end();

    EXPECT_EQ(syna_counter, 0);  // rewound for playback
    ASSERT_EQ(blocks.size(), (size_t)SHOW_BLOCKS);
    EXPECT_EQ(blocks, here_blocks);
    for (int k = 0; k < SHOW_BLOCKS; k++) ASSERT_EQ(blocks[k], k);
    // Rendered off the calling thread, all on one worker.
    EXPECT_FALSE(pthread_equal(threads.front(), pthread_self()));
    for (pthread_t t : threads) ASSERT_TRUE(pthread_equal(t, threads.front()));
    // Not one sample differs.
    size_t first_difference = SHOW_SAMPLES;
    for (size_t i = 0; i < (size_t)SHOW_SAMPLES && first_difference == SHOW_SAMPLES; i++)
        if (mixed[i] != here[i]) first_difference = i;
    EXPECT_EQ(first_difference, (size_t)SHOW_SAMPLES) << "first differing 16-bit value";
    // The comparison means something only if the song sounds throughout.
    size_t sounding = 0;
    for (int16_t v : here) sounding += v != 0;
    EXPECT_GT(sounding, here.size() / 4);
    std::memset(mixed, 0, sizeof mixed);
}

// The one block loop cuts where the pre-render's blocks end, whatever the
// first frame, gives the bytes of one syna_play call, and stops when asked.
TEST(ShowRenderFrames, BlockEdgesBytesAndStop) {
    std::ifstream in(SYNA_SONGS_DIR "/good/echo_pan_lowpass.song");
    std::stringstream text;
    text << in.rdbuf();
    const std::string song = text.str();
    const long long first = 5000, count = 2 * SHOW_BLOCK_FRAMES + 100;
    load_song(song);
    std::vector<int16_t> whole(2 * (first + count));
    syna_play(whole.data(), (int)(first + count));

    struct Seen {
        std::vector<std::pair<long long, int>> blocks;
        std::vector<int16_t> samples;
        int stop_after = 0;
    };
    auto note = [](const int16_t *block, long long at, int n, void *user) {
        Seen &seen = *static_cast<Seen *>(user);
        seen.blocks.push_back({at, n});
        seen.samples.insert(seen.samples.end(), block, block + 2 * n);
        return (int)seen.blocks.size() == seen.stop_after ? 1 : 0;
    };
    const std::vector<std::pair<long long, int>> edges = {{5000, SHOW_BLOCK_FRAMES - 5000},
                                                          {SHOW_BLOCK_FRAMES, SHOW_BLOCK_FRAMES},
                                                          {2 * SHOW_BLOCK_FRAMES, 5100}};
    const std::vector<int16_t> want(whole.begin() + 2 * first, whole.end());

    // Into its own buffer, and into the caller's.
    for (bool into_out : {false, true}) {
        load_song(song);
        std::vector<int16_t> skip(2 * first);
        syna_play(skip.data(), (int)first);
        Seen seen;
        std::vector<int16_t> out(into_out ? 2 * count : 0);
        EXPECT_EQ(show_render_frames(first, count, into_out ? out.data() : nullptr, note, &seen),
                  count);
        EXPECT_EQ(seen.blocks, edges) << into_out;
        EXPECT_EQ(seen.samples, want) << into_out;
        if (into_out) {
            EXPECT_EQ(out, want);
        }
    }

    load_song(song);
    std::vector<int16_t> skip(2 * first);
    syna_play(skip.data(), (int)first);
    Seen stopped;
    stopped.stop_after = 2;
    EXPECT_EQ(show_render_frames(first, count, nullptr, note, &stopped),
              2 * SHOW_BLOCK_FRAMES - first);
    EXPECT_EQ(syna_counter, 2 * SHOW_BLOCK_FRAMES);
    EXPECT_EQ(show_render_frames(-1, count, nullptr, nullptr, nullptr), 0);
}

}  // namespace
