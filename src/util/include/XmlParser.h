// Read-only XPath questions about one XML text (a server reply). Never throws: a text that does
// not parse, or an expression that cannot be evaluated, gives empty texts, lists and zero counts.
#pragma once

#include "XmlHandles.h"

#include <string>
#include <vector>

class XmlParser {
public:
    explicit XmlParser(const std::string& xml);
    ~XmlParser();
    XmlParser(XmlParser&&) noexcept = default;
    XmlParser& operator=(XmlParser&&) noexcept = default;
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Makes `prefix` usable in later expressions; 0 on success (xmlXPathRegisterNs).
    int registerNamespace(const std::string& uri, const std::string& prefix);
    // First match of `path` in `context`, or null when nothing matches; left as it was when the
    // expression cannot be evaluated.
    void getPathNode(const std::string& path, xmlXPathContextPtr context, xmlNodePtr& node);
    // Attribute `name` of the first (or index-th) match; with an empty name, its text content.
    std::string getProperty(const std::string& path, const std::string& name);
    std::string getProperty(const std::string& path, const std::string& name, int index);
    // The direct text of each match (an attribute's value for attribute matches).
    std::vector<std::string> getPropertyList(const std::string& path);
    int getPropertyOccurrence(const std::string& path);
    // Children of the index-th match named exactly `childName` (text nodes are named "text").
    int getChildOccurrence(const std::string& path, const std::string& childName, int index);

    static void uChToString(const xmlChar* value, std::string& out);

private:
    // Evaluates in `context`; logs and gives null when that is impossible.
    static tavxml::ObjectOwner evaluate(const std::string& path, xmlXPathContextPtr context);
    // The index-th match of `path` in the object's context, or null.
    xmlNodePtr match(const std::string& path, int index) const;

    tavxml::DocOwner m_doc;
    tavxml::ContextOwner m_context;
};
