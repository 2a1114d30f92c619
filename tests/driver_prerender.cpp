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

}  // namespace
