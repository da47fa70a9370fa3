#include "XmlLibrary.h"

#include "TavLog.h"

#include <dlfcn.h>

namespace tavxml {

namespace {

const Library* load() {
    void* handle = dlopen("libxml2.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        LOGE("libxml2 cannot be loaded: %s", dlerror());
        return nullptr;
    }
    static Library lib;
#define TAVXML_RESOLVE(name)                                                                  \
    lib.name = reinterpret_cast<decltype(lib.name)>(dlsym(handle, "xml" #name));              \
    if (!lib.name) {                                                                          \
        LOGE("libxml2 lacks xml" #name);                                                      \
        return nullptr;                                                                       \
    }
    TAVXML_FUNCTIONS(TAVXML_RESOLVE)
    TAVXML_RESOLVE(Free)
#undef TAVXML_RESOLVE
    return &lib;
}

} // namespace

const Library* library() {
    static const Library* const loaded = load();
    return loaded;
}

} // namespace tavxml
