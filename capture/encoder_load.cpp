/* encoder_load.cpp - finds and loads the encoder module (encoder.h). */
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "encoder.h"

#ifndef KESTOVAR_ENCODER_BUILT
#define KESTOVAR_ENCODER_BUILT ""
#endif
// Where an installed module sits, relative to the installed executable's
// folder (bin/ -> lib/kestovar/), so that a staged or relocated install
// finds its own.
#ifndef KESTOVAR_ENCODER_INSTALLED
#define KESTOVAR_ENCODER_INSTALLED ""
#endif

namespace {

const encoder_api *loaded = nullptr;

// The folder of the running executable, with a trailing slash.
std::string own_folder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    path[n] = '\0';
    std::string p = path;
    return p.substr(0, p.rfind('/') + 1);
}

}  // namespace

std::vector<std::string> encoder_places(void) {
    const std::string folder = own_folder();
    const std::string installed = KESTOVAR_ENCODER_INSTALLED;
    return {folder + "kestovar-encoder.so",
            installed.empty() || folder.empty() ? "" : folder + installed, KESTOVAR_ENCODER_BUILT};
}

const encoder_api *encoder_load(char *error, size_t size) {
    if (loaded != nullptr) return loaded;
    std::string why;
    for (const std::string &place : encoder_places()) {
        if (place.empty()) continue;
        void *module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            if (why.empty()) why = dlerror();
            continue;
        }
        const auto entry =
            reinterpret_cast<const encoder_api *(*)(void)>(dlsym(module, "kestovar_encoder"));
        if (entry != nullptr) {
            loaded = entry();
            return loaded;
        }
        why = place + " has no kestovar_encoder";
        dlclose(module);
    }
    std::snprintf(error, size, "cannot load the video encoder module: %s", why.c_str());
    return nullptr;
}
