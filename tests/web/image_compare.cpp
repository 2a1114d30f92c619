/* image_compare.cpp - how far two PNG pictures of one size are apart.
 *
 * Usage: image_compare A.png B.png [--threshold N] [--max-over F] [--max-mean M]
 * Prints "mean M over F max X" (mean absolute channel difference 0..255, the
 * share of pixels with a channel off by more than N (default 48), the
 * largest difference) and exits 1 when the mean exceeds M or that share
 * exceeds F, 2 when a file cannot be read or the sizes differ.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "png_image.h"

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: image_compare A.png B.png [--threshold N] [--max-over F] "
                     "[--max-mean M]\n");
        return 2;
    }
    int threshold = 48;
    double max_over = 1.0, max_mean = 255.0;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--threshold"))
            threshold = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--max-over"))
            max_over = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--max-mean"))
            max_mean = std::atof(argv[i + 1]);
    }
    RgbaImage a, b;
    std::string error;
    if (!png_read(argv[1], a, error) || !png_read(argv[2], b, error)) {
        std::fprintf(stderr, "image_compare: %s\n", error.c_str());
        return 2;
    }
    if (a.width != b.width || a.height != b.height) {
        std::fprintf(stderr, "image_compare: sizes differ (%dx%d, %dx%d)\n", a.width, a.height,
                     b.width, b.height);
        return 2;
    }
    const ImageDiff d = image_diff(a, b, threshold);
    std::printf("mean %.4f over %.6f max %d\n", d.mean, d.over_fraction, d.max);
    return d.mean > max_mean || d.over_fraction > max_over ? 1 : 0;
}
