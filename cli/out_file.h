/* out_file.h - an output file that never destroys or half-writes the path
 * it is given.
 *
 * A regular file (or a new name) is written to a hidden temporary file in
 * the same folder, ".kXXXXXX" (short, so that any name that fits the file
 * system fits it too), which out_commit renames into place once complete;
 * out_abort removes it, leaving the named path as it was. A symbolic link
 * keeps pointing where it did: the file it names is replaced. A device or
 * fifo cannot be replaced: it is written directly and never removed. A
 * killed process leaves only the hidden file.
 *
 * With `remove_on_signal`, SIGINT, SIGTERM and SIGHUP remove the temporary
 * file and end the process (for a program that has no handlers of its own);
 * without it the program's own handlers decide.
 *
 * Use:
 *     OutFile f;
 *     if (!out_open(&f, path, false, &why)) ...;
 *     write(f.fd, ...) or close f.fd and write f.write_name by name;
 *     if (!out_commit(&f, &why)) ...;      // on failure: out_abort(&f)
 *
 * Limitations: one temporary file at a time is removed on a signal.
 */
#ifndef KESTOVAR_OUT_FILE_H
#define KESTOVAR_OUT_FILE_H

#include <sys/stat.h>

#include <string>

struct OutFile {
    int fd = -1;             // open for writing; the caller may close it (set -1)
    std::string write_name;  // where the bytes go: the temporary file, or the device
    std::string final_name;  // "" when written in place
    std::string temp_name;   // "" when written in place
    std::string shown_name;  // the name as given, for messages
};

bool out_open(OutFile *f, const std::string &path, bool remove_on_signal, std::string *why);
/* Closes the file if still open and renames it into place. */
bool out_commit(OutFile *f, std::string *why);
/* Closes the file if still open and removes the temporary file. */
void out_abort(OutFile *f);

/* Whether two output names end in the same file: the same device and inode
 * for names that exist, the same folder and name for names that do not. */
bool out_same_file(const std::string &a, const std::string &b);
/* Whether `path` names a file this process runs from or has mapped: its
 * executable, a shared library, a loaded module. */
bool out_in_use(const std::string &path);

#endif
