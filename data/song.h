/* song.h - the demo's song text, compiled in from data/song.txt.
 *
 * `biisi` is writable on purpose: the song parser edits the text in place
 * (blanks removed, delimiters overwritten), so it can be parsed only once.
 */
#ifndef KESTOVAR_SONG_H
#define KESTOVAR_SONG_H
#ifdef __cplusplus
extern "C" {
#endif
extern char biisi[];
extern const int biisi_length; /* bytes, without the closing NUL */
#ifdef __cplusplus
}
#endif
#endif
