#include "geo/ProjApi.h"

#include <dlfcn.h>

namespace {

struct CLoaded {
    CProjApi api;
    std::string error;  // empty: loaded
};

CLoaded Load() {
    CLoaded loaded;
    void* library = dlopen(JVS_PROJ_SONAME, RTLD_LAZY | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        loaded.error = std::string("无法加载PROJ库!\n") + (why ? why : JVS_PROJ_SONAME);
        return loaded;
    }
#define JVS_PROJ_LOAD(name)                                                             \
    loaded.api.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));       \
    if (!loaded.api.name) {                                                             \
        loaded.error = std::string("无法加载PROJ库!\n") + JVS_PROJ_SONAME + ": " #name; \
        return loaded;                                                                  \
    }
    JVS_PROJ_FUNCTIONS(JVS_PROJ_LOAD)
#undef JVS_PROJ_LOAD
    // The library stays loaded for the rest of the run.
    return loaded;
}

}  // namespace

const CProjApi* ProjApi(std::string* message) {
    static const CLoaded loaded = Load();
    if (!loaded.error.empty()) {
        if (message) *message = loaded.error;
        return nullptr;
    }
    return &loaded.api;
}
