/* still.h - one picture read back from GL, written as a PNG (libpng). */
#ifndef KESTOVAR_CAPTURE_STILL_H
#define KESTOVAR_CAPTURE_STILL_H

#include <stddef.h>
#include <stdint.h>

/* rgba: width x height, bottom row first; written as 8-bit RGB, top row
 * first (alpha dropped). 0, or -1 with the reason in error. */
int still_write(const char *path, const uint8_t *rgba, int width, int height, char *error,
                size_t error_size);

#endif
