/* png_image.h - RGBA pictures read from and written to PNG files (libpng),
 * and how far two pictures are apart, for tests and test helpers.
 *
 * Limitations: 8-bit RGBA in memory, rows top-down; any PNG libpng reads
 * is converted to that.
 */
#ifndef KESTOVAR_SUPPORT_PNG_IMAGE_H
#define KESTOVAR_SUPPORT_PNG_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // width * height * 4, top row first
};

// false (with `error` set) when the file cannot be read or is no PNG.
bool png_read(const std::string &path, RgbaImage &image, std::string &error);
bool png_write(const std::string &path, const RgbaImage &image, std::string &error);

// How two pictures of one size differ, on the red, green and blue channels.
struct ImageDiff {
    double mean = 0;           // mean absolute difference over all channels, 0..255
    double over_fraction = 0;  // share of pixels with a channel off by more than `threshold`
    int max = 0;               // largest channel difference
};
ImageDiff image_diff(const RgbaImage &a, const RgbaImage &b, int threshold);

#endif
