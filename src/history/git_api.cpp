// SPDX-License-Identifier: Apache-2.0
#include "history/git_api.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace corvix::history::git {
namespace {

Functions functions;
std::string loadError;

bool LoadOnce() {
    // RTLD_NOW: a missing function shows here, not in the middle of a commit.
    void* library = dlopen(CORVIX_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        loadError = std::string("cannot load " CORVIX_LIBGIT2_SONAME ": ") + (why != nullptr ? why : "unknown error");
        return false;
    }
#define CORVIX_GIT_RESOLVE(name)                                                    \
    functions.name = reinterpret_cast<decltype(functions.name)>(dlsym(library, #name)); \
    if (functions.name == nullptr) {                                                \
        loadError = CORVIX_LIBGIT2_SONAME " has no " #name;                         \
        return false;                                                               \
    }
    CORVIX_GIT_FUNCTIONS(CORVIX_GIT_RESOLVE)
#undef CORVIX_GIT_RESOLVE
    functions.git_libgit2_init();
    // Every object a recording refers to was written by it a moment before: checking that
    // each exists again costs a file lookup per object and finds nothing.
    functions.git_libgit2_opts(GIT_OPT_ENABLE_STRICT_OBJECT_CREATION, 0);
    // Shut down at exit as libgit2 asks; the library itself stays loaded.
    std::atexit([] { functions.git_libgit2_shutdown(); });
    return true;
}

}  // namespace

bool Load(std::string& error) {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = LoadOnce(); });
    if (!loaded) error = loadError;
    return loaded;
}

const Functions& Api() { return functions; }

}  // namespace corvix::history::git
