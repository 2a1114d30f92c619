/* still.cpp - PNG stills through libpng's simplified writer. */
#include "still.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

int still_write(const char *path, const uint8_t *rgba, int width, int height, char *error,
                size_t error_size) {
    std::vector<uint8_t> rgb((size_t)width * (size_t)height * 3);
    for (size_t i = 0, n = (size_t)width * (size_t)height; i < n; i++)
        std::memcpy(&rgb[3 * i], &rgba[4 * i], 3);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGB;
    // A negative stride: the buffer's rows run bottom-up.
    if (!png_image_write_to_file(&image, path, 0, rgb.data(), -3 * width, nullptr)) {
        std::snprintf(error, error_size, "cannot write %s: %s", path, image.message);
        png_image_free(&image);
        return -1;
    }
    return 0;
}
