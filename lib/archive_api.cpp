// libarchive loaded on first use; see archive_api.h.
#include "archive_api.h"

#include <dlfcn.h>

namespace {

constexpr const char *kLibrary = "libarchive.so.13";

const ArchiveApi *load(std::string &failure)
{
    static ArchiveApi api;
    void *lib = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        const char *why = ::dlerror();
        failure = why ? why : std::string(kLibrary) + " cannot be loaded";
        return nullptr;
    }
#define QRPHT_ARCHIVE_LOAD(name)                                                  \
    api.name = reinterpret_cast<decltype(api.name)>(::dlsym(lib, #name));         \
    if (api.name == nullptr) {                                                    \
        failure = std::string(kLibrary) + " has no " #name;                       \
        return nullptr;                                                           \
    }
    QRPHT_ARCHIVE_FUNCTIONS(QRPHT_ARCHIVE_LOAD)
#undef QRPHT_ARCHIVE_LOAD
    return &api;
}

}  // namespace

const ArchiveApi *archive_api(std::string &problem)
{
    static std::string failure;
    static const ArchiveApi *api = load(failure);
    if (api == nullptr) problem = failure;
    return api;
}
