// The audio callback: copies from the playback position, advances it by the
// frames handed over, and never reads past the end of the song.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "playback.h"
#include "syna.h"

namespace {

void fill_pattern() {
    for (int i = 0; i < SHOW_SAMPLES; i++) mixed[i] = static_cast<int16_t>(i * 7 + 1);
}

TEST(Pakki, CopiesFromThePositionAndAdvancesByTheFramesHandedOver) {
    fill_pattern();
    syna_counter = 1000;
    std::vector<uint8_t> stream(32768, 0xAA);
    pakki(nullptr, stream.data(), 32768);
    EXPECT_EQ(0, std::memcmp(stream.data(), &mixed[2 * 1000], 32768));
    EXPECT_EQ(syna_counter, 1000 + 8192);

    // A length that is not whole frames still advances by len / 4.
    pakki(nullptr, stream.data(), 10);
    EXPECT_EQ(0, std::memcmp(stream.data(), &mixed[2 * 9192], 10));
    EXPECT_EQ(syna_counter, 9192 + 2);
}

TEST(Pakki, PastTheEndOfTheSongTheCardGetsSilence) {
    fill_pattern();
    // The last 100 frames, then silence for the rest of the buffer.
    syna_counter = SHOW_FRAMES - 100;
    std::vector<uint8_t> stream(32768, 0xAA);
    pakki(nullptr, stream.data(), 32768);
    EXPECT_EQ(0, std::memcmp(stream.data(), &mixed[2 * (SHOW_FRAMES - 100)], 400));
    for (size_t i = 400; i < stream.size(); i++) ASSERT_EQ(stream[i], 0) << i;
    EXPECT_EQ(syna_counter, SHOW_FRAMES - 100 + 8192);

    // Wholly beyond the end: silence, and the position still moves on.
    std::fill(stream.begin(), stream.end(), 0xAA);
    pakki(nullptr, stream.data(), 32768);
    for (size_t i = 0; i < stream.size(); i++) ASSERT_EQ(stream[i], 0) << i;
    EXPECT_EQ(syna_counter, SHOW_FRAMES - 100 + 2 * 8192);
}

}  // namespace
