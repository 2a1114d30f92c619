/* numbers.cpp - the command lines' number parsers (cli.h). */
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli.h"

bool cli_parse_count(const std::string &text, long long lo, long long hi, long long *out) {
    const char *s = text.c_str();
    // strtoll skips blanks and takes a sign; a count is digits alone.
    if (*s < '0' || *s > '9') return false;
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s, &end, 10);
    if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool cli_parse_seconds(const std::string &text, double max, double *out) {
    const char *s = text.c_str();
    if (!((*s >= '0' && *s <= '9') || *s == '.')) return false;  // no blanks, signs, "inf"
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || errno != 0 || !std::isfinite(v) || v < 0.0 || v > max)
        return false;
    *out = v;
    return true;
}

bool cli_parse_size(const std::string &text, int max, int *w, int *h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    long long a = 0, b = 0;
    if (!cli_parse_count(text.substr(0, x), 1, max, &a) ||
        !cli_parse_count(text.substr(x + 1), 1, max, &b))
        return false;
    *w = (int)a;
    *h = (int)b;
    return true;
}
