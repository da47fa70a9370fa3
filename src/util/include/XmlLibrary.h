// libxml2 loaded with the first document instead of at start-up. The survey reads XML only in
// the server's reply after Submit; linked directly, libxml2 and the ICU it needs would be mapped
// and relocated before the popup shows (about 1 MB more at start-up). Code that runs only after
// a parse (freeing, walking a result) may use library() without checking: an object from
// libxml2 means the library is loaded.
#pragma once

#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

namespace tavxml {

struct Library {
    decltype(&::xmlParseDoc) parseDoc;
    decltype(&::xmlFreeDoc) freeDoc;
    decltype(&::xmlSearchNs) searchNs;
    decltype(&::xmlNodeGetContent) nodeGetContent;
    decltype(&::xmlNodeListGetString) nodeListGetString;
    decltype(&::xmlGetProp) getProp;
    decltype(&::xmlBufferFree) bufferFree;
    decltype(&::xmlXPathNewContext) newContext;
    decltype(&::xmlXPathFreeContext) freeContext;
    decltype(&::xmlXPathEvalExpression) evalExpression;
    decltype(&::xmlXPathFreeObject) freeObject;
    int (*registerNs)(xmlXPathContextPtr, const xmlChar*, const xmlChar*);
    xmlFreeFunc* free;  // libxml2's deallocator is a variable the application may set
};

// Loads libxml2 once for the process; null when it cannot be loaded.
const Library* library();

} // namespace tavxml
