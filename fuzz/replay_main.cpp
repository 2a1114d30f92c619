/* replay_main.cpp - runs the fuzz body on every file of the directories (or
 * files) given, for the builds without libFuzzer: the seed corpus and every
 * earlier finding become a test. */
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    namespace fs = std::filesystem;
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[i])) {
            for (const auto &e : fs::directory_iterator(argv[i]))
                if (e.is_regular_file() && e.path().filename() != "README")
                    files.push_back(e.path());
        } else {
            files.push_back(argv[i]);
        }
        for (const fs::path &f : files) {
            std::ifstream in(f, std::ios::binary);
            if (!in) {
                fprintf(stderr, "cannot read %s\n", f.c_str());
                return 1;
            }
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
