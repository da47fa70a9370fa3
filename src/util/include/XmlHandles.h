// Move-only owners of libxml2 objects, so every document, XPath context and result is freed on
// every path (including the exception paths), plus two small readers of libxml2 values. They call
// libxml2 through XmlLibrary.h: an object to free means the library is loaded.
#pragma once

#include "XmlLibrary.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <memory>
#include <string>
#include <vector>

namespace tavxml {

struct DocFree {
    void operator()(xmlDocPtr p) const noexcept { library()->FreeDoc(p); }
};
struct ContextFree {
    void operator()(xmlXPathContextPtr p) const noexcept { library()->XPathFreeContext(p); }
};
struct ObjectFree {
    void operator()(xmlXPathObjectPtr p) const noexcept { library()->XPathFreeObject(p); }
};
struct StringFree {
    void operator()(xmlChar* p) const noexcept { (*library()->Free)(p); }
};
struct BufferFree {
    void operator()(xmlBufferPtr p) const noexcept { library()->BufferFree(p); }
};

using DocOwner = std::unique_ptr<xmlDoc, DocFree>;
using ContextOwner = std::unique_ptr<xmlXPathContext, ContextFree>;
using ObjectOwner = std::unique_ptr<xmlXPathObject, ObjectFree>;
using StringOwner = std::unique_ptr<xmlChar, StringFree>;
using BufferOwner = std::unique_ptr<xmlBuffer, BufferFree>;

// The bytes of a libxml2 string up to its terminating zero; null gives an empty text.
inline std::string text(const xmlChar* s) {
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

// Takes ownership of a string that libxml2 allocated for the caller and copies it out.
inline std::string adopt(xmlChar* s) {
    StringOwner owner(s);
    return text(owner.get());
}

// A matched node that stays valid after its XPath result is freed. Namespace nodes in a result
// are copies owned by the result (libxml2 links each copy to its element through `next`, and
// frees exactly those copies with the result); such a copy is replaced by the document's own
// declaration of that prefix in scope of the element, which lives as long as the document.
inline xmlNodePtr lasting(xmlNodePtr node) {
    if (!node || node->type != XML_NAMESPACE_DECL)
        return node;
    const auto* ns = reinterpret_cast<const xmlNs*>(node);
    const auto* element = reinterpret_cast<const xmlNode*>(ns->next);
    if (!element || element->type == XML_NAMESPACE_DECL)
        return node;  // not a copy: the document's record itself
    return reinterpret_cast<xmlNodePtr>(
        library()->SearchNs(element->doc, const_cast<xmlNodePtr>(element), ns->prefix));
}

// The matched nodes in document order, each valid for the document's lifetime (see lasting);
// empty for a null result or one that is not a node set (a number, a string or a boolean
// expression).
inline std::vector<xmlNodePtr> nodes(const xmlXPathObject* result) {
    std::vector<xmlNodePtr> out;
    if (!result || result->type != XPATH_NODESET || !result->nodesetval)
        return out;
    out.reserve(static_cast<size_t>(result->nodesetval->nodeNr));
    for (int i = 0; i < result->nodesetval->nodeNr; ++i)
        if (const xmlNodePtr node = lasting(result->nodesetval->nodeTab[i]))
            out.push_back(node);
    return out;
}

// First child of a matched node. Namespace nodes in XPath results are xmlNs records, not
// xmlNode: they have no children field and are treated as empty.
inline xmlNodePtr firstChild(const xmlNode* node) {
    return node && node->type != XML_NAMESPACE_DECL ? node->children : nullptr;
}

inline const xmlChar* xml(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

} // namespace tavxml
