#include "syna_helpers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace synatest {
using namespace syna;

void fresh(int rate) {
    syna_reset();
    syna_init(rate);
}

int load(const std::string &text) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back('\0');
    return syna_get(buf.data());
}

std::vector<short> render(int frames) {
    std::vector<short> out(2 * static_cast<size_t>(frames));
    syna_play(out.data(), frames);
    return out;
}

namespace {
struct Fnv {
    uint64_t h = 14695981039346656037ULL;
    void bytes(const void *p, size_t n) {
        const unsigned char *b = static_cast<const unsigned char *>(p);
        for (size_t i = 0; i < n; ++i) {
            h ^= b[i];
            h *= 1099511628211ULL;
        }
    }
    template <class T>
    void add(const T &v) {
        bytes(&v, sizeof v);
    }
};
}  // namespace

uint64_t fnv1a(const std::vector<short> &samples) {
    Fnv f;
    for (short s : samples) {  // little-endian bytes, as written to a file
        unsigned char b[2] = {static_cast<unsigned char>(s & 0xff),
                              static_cast<unsigned char>((s >> 8) & 0xff)};
        f.bytes(b, 2);
    }
    return f.h;
}

uint64_t state_fingerprint(bool everything) {
    Fnv f;
    visit_state([&](const void *p, size_t n) { f.bytes(p, n); }, everything);
    return f.h;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace synatest
