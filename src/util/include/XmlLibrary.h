// libxml2 loaded with the first document instead of at start-up. The survey reads XML only in
// the server's reply after Submit; linked directly, libxml2 and the ICU it needs would be mapped
// and relocated before the popup shows (0.8 MB of peak memory). Code that runs only after a
// parse (freeing, walking a result) may use library() without checking: an object from libxml2
// means the library is loaded (a program that links libxml2 itself gets that same copy).
#pragma once

#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

namespace tavxml {

// The functions the XML reader and the owners of XmlHandles.h call, by their names less "xml".
#define TAVXML_FUNCTIONS(X)                                                                   \
    X(ParseDoc) X(FreeDoc) X(SearchNs) X(NodeGetContent) X(NodeListGetString) X(GetProp)     \
    X(BufferFree) X(XPathNewContext) X(XPathFreeContext) X(XPathEvalExpression)               \
    X(XPathFreeObject) X(XPathRegisterNs)

struct Library {
#define TAVXML_POINTER(name) decltype(&::xml##name) name = nullptr;
    TAVXML_FUNCTIONS(TAVXML_POINTER)
#undef TAVXML_POINTER
    xmlFreeFunc* Free = nullptr;  // libxml2's deallocator is a variable an application may set
};

// Loads libxml2 once for the process; null when it cannot be loaded.
const Library* library();

} // namespace tavxml
