#include "XmlParser.h"

#include "TavLog.h"

#include <libxml/parser.h>
#include <libxml/xpathInternals.h>

namespace {
// Only reached with a node or a context in hand, so the library is loaded.
const tavxml::Library& lib() { return *tavxml::library(); }
} // namespace

XmlParser::XmlParser(const std::string& xml) {
    const tavxml::Library* const loaded = tavxml::library();
    if (!loaded)
        return;
    m_doc.reset(loaded->ParseDoc(tavxml::xml(xml)));
    // Also made for a text that does not parse: queries on it then evaluate to empty node sets
    // instead of failing, so an empty or broken server reply is not reported as a bad path.
    m_context.reset(loaded->XPathNewContext(m_doc.get()));
}

XmlParser::~XmlParser() {
    m_doc.reset();
    m_context.reset();
}

int XmlParser::registerNamespace(const std::string& uri, const std::string& prefix) {
    return m_context ? lib().XPathRegisterNs(m_context.get(), tavxml::xml(prefix), tavxml::xml(uri)) : -1;
}

tavxml::ObjectOwner XmlParser::evaluate(const std::string& path, xmlXPathContextPtr context) {
    tavxml::ObjectOwner result(context ? lib().XPathEvalExpression(tavxml::xml(path), context) : nullptr);
    if (!result)
        LOGI("xPathObjectPtr is null");
    return result;
}

xmlNodePtr XmlParser::match(const std::string& path, int index) const {
    const tavxml::ObjectOwner result = evaluate(path, m_context.get());
    const std::vector<xmlNodePtr> found = tavxml::nodes(result.get());
    if (index < 0 || static_cast<size_t>(index) >= found.size())
        return nullptr;
    return found[index];
}

void XmlParser::getPathNode(const std::string& path, xmlXPathContextPtr context, xmlNodePtr& node) {
    const tavxml::ObjectOwner result = evaluate(path, context);
    if (!result)
        return;
    const std::vector<xmlNodePtr> found = tavxml::nodes(result.get());
    node = found.empty() ? nullptr : found.front();
}

std::string XmlParser::getProperty(const std::string& path, const std::string& name) {
    return getProperty(path, name, 0);
}

std::string XmlParser::getProperty(const std::string& path, const std::string& name, int index) {
    const xmlNodePtr node = match(path, index);
    if (!node)
        return "";
    if (name.empty())
        return tavxml::adopt(lib().NodeGetContent(node));
    return tavxml::adopt(lib().GetProp(node, tavxml::xml(name)));
}

std::vector<std::string> XmlParser::getPropertyList(const std::string& path) {
    std::vector<std::string> values;
    const tavxml::ObjectOwner result = evaluate(path, m_context.get());
    for (xmlNodePtr node : tavxml::nodes(result.get()))
        values.push_back(tavxml::adopt(lib().NodeListGetString(m_doc.get(), tavxml::firstChild(node), 1)));
    return values;
}

int XmlParser::getPropertyOccurrence(const std::string& path) {
    const tavxml::ObjectOwner result = evaluate(path, m_context.get());
    return static_cast<int>(tavxml::nodes(result.get()).size());
}

int XmlParser::getChildOccurrence(const std::string& path, const std::string& childName, int index) {
    const xmlNodePtr node = match(path, index);
    if (!node)
        return 0;
    int count = 0;
    for (xmlNodePtr child = tavxml::firstChild(node); child; child = child->next)
        if (child->name && childName == reinterpret_cast<const char*>(child->name))
            ++count;
    return count;
}

void XmlParser::uChToString(const xmlChar* value, std::string& out) {
    out = tavxml::text(value);
}
