/* png_image.cpp - PNG files through libpng's simplified API (see png_image.h). */
#include "png_image.h"

#include <png.h>

#include <cstdlib>

bool png_read(const std::string &path, RgbaImage &image, std::string &error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    image.width = (int)png.width;
    image.height = (int)png.height;
    image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

bool png_write(const std::string &path, const RgbaImage &image, std::string &error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = (png_uint_32)image.width;
    png.height = (png_uint_32)image.height;
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
        error = path + ": " + png.message;
        return false;
    }
    return true;
}

ImageDiff image_diff(const RgbaImage &a, const RgbaImage &b, int threshold) {
    ImageDiff d;
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) {
        d.mean = 255;
        d.over_fraction = 1;
        d.max = 255;
        return d;
    }
    const size_t n = (size_t)a.width * (size_t)a.height;
    if (n == 0) return d;
    long long sum = 0, over = 0;
    for (size_t i = 0; i < n; i++) {
        int worst = 0;
        for (int c = 0; c < 3; c++) {
            const int diff = std::abs((int)a.pixels[4 * i + c] - (int)b.pixels[4 * i + c]);
            sum += diff;
            if (diff > worst) worst = diff;
        }
        if (worst > threshold) over++;
        if (worst > d.max) d.max = worst;
    }
    d.mean = (double)sum / (double)(3 * n);
    d.over_fraction = (double)over / (double)n;
    return d;
}
