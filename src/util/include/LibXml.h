// An owned XML document with its XPath context, loaded from a file, a memory buffer or a text.
// Every failure throws Excpn<int> (code 0); a failed parse leaves the object without a document.
#pragma once

#include "XmlHandles.h"

#include <string>

class LibXml {
public:
    LibXml();
    explicit LibXml(const std::string& xml);   // parseString
    LibXml(const char* buffer, int size);      // parseMemory
    ~LibXml();
    LibXml(LibXml&&) noexcept = default;
    LibXml& operator=(LibXml&&) noexcept = default;
    LibXml(const LibXml&) = delete;
    LibXml& operator=(const LibXml&) = delete;

    // Each parse replaces the object's document and context.
    void parseFile(const std::string& path);
    void parseMemory(const char* buffer, int size);
    void parseString(const std::string& xml);

    xmlNodePtr getRootElement() const;
    xmlDocPtr doc() const { return m_doc.get(); }

    std::string getAttribute(xmlNodePtr node, const std::string& name) const;
    xmlAttrPtr setAttribute(xmlNodePtr node, const std::string& name, const std::string& value);
    // The document with its XML declaration, indented.
    void toString(std::string& out) const;

    // Kept for interface compatibility; nothing uses them. They log and find nothing.
    int xPathCountNodes(const std::string& path);
    std::string xPathNodeValue(const std::string& path);

private:
    // Takes a freshly parsed document and builds its context.
    void adopt(xmlDocPtr doc);
    void clear();

    tavxml::DocOwner m_doc;
    tavxml::ContextOwner m_context;
};
