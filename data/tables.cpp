/* tables.cpp - contents of the scene's constant tables (see tables.h). */
#include "tables.h"

// clang-format off
const signed char param[PARAM_ROWS * PARAM_COLS] = {
/*  bar  tens  cont  bias  brig  dist  tilt  spin  grey */
     0,  127,  102,    0,    0,   -5,   15,    0,   23,
     8,   50,  102,   51,    0,  -33,   33,    0,   23,
    12,   50,  102,   51,    5,   -7,  -15,    0,   23,
    16,    0,  127,   51,   25,  -17,   64,   12,   25,
    24,    0, -112,    0,   15,  -10,   38,  -17,   25,
    32,   25,   51,   35,   25,  -12,   12,    0,   23,
    34,    0,  127,   51,   25,  -17,   12,   25,   38,
    36,    0,  127,   51,   25,  -17,  -25,   25,   38,
    40,   25,   51,   35,   25,  -10,    0,   25,    0,
    44,  -25,  -51,    0,   25,  -10,    0,   38,    0,
    46,  -25,  -51,    0,   25,   -7,    0,  115,    0,
    47,  -25,  -51,    0,   25,   -5,   12,   64,    0,
    48,    0,    0,    0,   25,  -17,   64,    5,   25,
    56,    0,    0,    0,    0,  -74,  -89,   56,   25,
    57,    0,    0,    0,    0,   23,  -89,   56,   25,
    58,    0,    0,    0,    0,   23,  -89,   56,    0,
    59,    0,    0,    0,    0,  125,  -89,   56,    0,  // end marker: position only
};

// Open petal: reaches out to x = 0.6.
const float kukka[KUKKA_POINTS * 3] = {
    0.0f,  0.5f, 0.0f,
    0.0f,  0.0f, 0.0f,
    0.1f, -0.2f, 0.0f,
    0.3f, -0.3f, 0.0f,
    0.5f, -0.3f, 0.0f,
    0.6f, -0.2f, 0.0f,
    0.6f, -0.5f, 0.0f,
};

// Curled petal: goes out to x = 0.3 and bends back toward the axis.
const float kukka_morph[KUKKA_POINTS * 3] = {
    0.0f,  0.5f,  0.0f,
    0.0f,  0.0f,  0.0f,
    0.2f, -0.2f,  0.0f,
    0.3f, -0.15f, 0.0f,
    0.2f,  0.0f,  0.0f,
    0.1f,  0.0f,  0.0f,
    0.0f,  0.1f,  0.0f,
};
// clang-format on
