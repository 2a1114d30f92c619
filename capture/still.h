/* still.h - one picture read back from GL, written as a PNG (libpng).
 *
 * The PNG is written to a hidden temporary file beside `path` and renamed
 * into place when complete (cli/out_file.h): a failed still leaves `path`
 * as it was, an existing file or a device alike.
 */
#ifndef KESTOVAR_CAPTURE_STILL_H
#define KESTOVAR_CAPTURE_STILL_H

#include <stdint.h>

#include <string>

/* rgba: width x height, bottom row first; written as 8-bit RGB, top row
 * first (alpha dropped). False with the reason in `why`. */
bool still_write(const char *path, const uint8_t *rgba, int width, int height, std::string *why);

#endif
