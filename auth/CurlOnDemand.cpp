#include "auth/CurlOnDemand.h"

#include <dlfcn.h>

#include <string>

namespace qf::auth {

namespace {

constexpr const char* kLibraryName = "libcurl.so.4";

template <class Function>
bool find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

Result<CurlFunctions> load() {
    void* library = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = ::dlerror();
        return Status::ioError(std::string("cannot load ") + kLibraryName + ": " +
                               (why != nullptr ? why : "unknown reason"));
    }
    CurlFunctions f;
    if (!find(library, "curl_easy_init", f.easyInit) ||
        !find(library, "curl_easy_setopt", f.easySetopt) ||
        !find(library, "curl_easy_perform", f.easyPerform) ||
        !find(library, "curl_easy_getinfo", f.easyGetinfo) ||
        !find(library, "curl_easy_strerror", f.easyStrerror) ||
        !find(library, "curl_easy_cleanup", f.easyCleanup)) {
        return Status::ioError(std::string(kLibraryName) + " lacks a function it should have");
    }
    return f;  // the library stays loaded for the rest of the process
}

}  // namespace

Result<const CurlFunctions*> curlFunctions() {
    static const Result<CurlFunctions> loaded = load();
    if (!loaded) {
        return loaded.status();
    }
    return &loaded.value();
}

}  // namespace qf::auth
