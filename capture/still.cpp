/* still.cpp - PNG stills through libpng's simplified writer, into a file
 * that appears only when complete. */
#include "still.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "out_file.h"

bool still_write(const char *path, const uint8_t *rgba, int width, int height, std::string *why) {
    std::vector<uint8_t> rgb((size_t)width * (size_t)height * 3);
    for (size_t i = 0, n = (size_t)width * (size_t)height; i < n; i++)
        std::memcpy(&rgb[3 * i], &rgba[4 * i], 3);
    OutFile out;
    if (!out_open(&out, path, false, why)) return false;
    // libpng's own file writer removes the path it was given when a write
    // fails: it gets an open stream instead, and this file decides.
    FILE *stream = fdopen(out.fd, "wb");
    if (stream == nullptr) {
        *why = std::string(path) + ": " + std::strerror(errno);
        out_abort(&out);
        return false;
    }
    out.fd = -1;  // the stream owns it now
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_RGB;
    // A negative stride: the buffer's rows run bottom-up.
    errno = 0;
    const bool made = png_image_write_to_stdio(&image, stream, 0, rgb.data(), -3 * width, nullptr);
    int e = errno;  // a full disk says more than libpng's "Write Error"
    const std::string png_reason = made ? "" : image.message;
    png_image_free(&image);
    const bool flushed = std::fflush(stream) == 0 && !std::ferror(stream);
    if (e == 0) e = errno;
    const bool closed = std::fclose(stream) == 0;
    if (e == 0) e = errno;
    if (!made || !flushed || !closed) {
        *why = std::string("cannot write ") + path + ": " +
               (e != 0               ? std::strerror(e)
                : png_reason.empty() ? "write error"
                                     : png_reason);
        out_abort(&out);
        return false;
    }
    return out_commit(&out, why);
}
