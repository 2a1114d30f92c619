/* tables.h - constant tables of the scene.
 *
 * `param` is the keyframe track: 17 rows of 9 signed bytes, the rows stored
 * one after another. Byte 0 of a row is the bar from which it applies, bytes
 * 1..8 are targets for paramf[1..8] in units of 1/25.6. Row 16 only closes
 * row 15 (its position, bar 59, is the end of the show).
 *
 * `kukka` and `kukka_morph` are the two petal profiles: 7 control points of
 * (x, y, z) floats each; z is always 0 and unused. The curve runs from point
 * 1 to point 5; points 0 and 6 only shape the end tangents.
 *
 * Usable from C and C++. Never written.
 */
#ifndef KESTOVAR_TABLES_H
#define KESTOVAR_TABLES_H

#define PARAM_ROWS 17
#define PARAM_COLS 9
#define KUKKA_POINTS 7

#ifdef __cplusplus
extern "C" {
#endif

extern const signed char param[PARAM_ROWS * PARAM_COLS];
extern const float kukka[KUKKA_POINTS * 3];
extern const float kukka_morph[KUKKA_POINTS * 3];

#ifdef __cplusplus
}
#endif
#endif
