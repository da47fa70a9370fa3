#include "XmlLibrary.h"

#include "TavLog.h"

#include <dlfcn.h>

namespace tavxml {

namespace {

template <typename T>
bool resolve(void* handle, const char* name, T& out) {
    out = reinterpret_cast<T>(dlsym(handle, name));
    return out != nullptr;
}

const Library* load() {
    // A program that links libxml2 itself gets the copy it already has.
    void* handle = dlopen("libxml2.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        LOGE("libxml2 cannot be loaded: %s", dlerror());
        return nullptr;
    }
    static Library lib;
    const bool ok = resolve(handle, "xmlParseDoc", lib.parseDoc) && resolve(handle, "xmlFreeDoc", lib.freeDoc) &&
                    resolve(handle, "xmlSearchNs", lib.searchNs) &&
                    resolve(handle, "xmlNodeGetContent", lib.nodeGetContent) &&
                    resolve(handle, "xmlNodeListGetString", lib.nodeListGetString) &&
                    resolve(handle, "xmlGetProp", lib.getProp) && resolve(handle, "xmlBufferFree", lib.bufferFree) &&
                    resolve(handle, "xmlXPathNewContext", lib.newContext) &&
                    resolve(handle, "xmlXPathFreeContext", lib.freeContext) &&
                    resolve(handle, "xmlXPathEvalExpression", lib.evalExpression) &&
                    resolve(handle, "xmlXPathFreeObject", lib.freeObject) &&
                    resolve(handle, "xmlXPathRegisterNs", lib.registerNs) && resolve(handle, "xmlFree", lib.free);
    if (!ok) {
        LOGE("libxml2 lacks a function the XML reader needs");
        return nullptr;
    }
    return &lib;
}

} // namespace

const Library* library() {
    static const Library* const loaded = load();
    return loaded;
}

} // namespace tavxml
