#include "LibXml.h"

#include "Excpn.h"
#include "TavLog.h"
#include "Utils.h"

#include <libxml/parser.h>

LibXml::LibXml() = default;

LibXml::LibXml(const std::string& xml) { parseString(xml); }

LibXml::LibXml(const char* buffer, int size) { parseMemory(buffer, size); }

LibXml::~LibXml() { clear(); }

void LibXml::clear() {
    m_doc.reset();
    m_context.reset();
}

void LibXml::adopt(xmlDocPtr doc) {
    m_doc.reset(doc);
    m_context.reset(xmlXPathNewContext(doc));
    if (!m_context) {
        m_doc.reset();
        throw Excpn<int>("Failed to create new XPath context", 0);
    }
}

void LibXml::parseFile(const std::string& path) {
    clear();
    xmlDocPtr doc = xmlParseFile(path.c_str());
    if (!doc)
        throw Excpn<int>("Failed to parse XML, file does not exist or is invalid: " + path, 0);
    adopt(doc);
}

void LibXml::parseMemory(const char* buffer, int size) {
    clear();
    xmlDocPtr doc = xmlReadMemory(buffer, size, "noname.xml", nullptr, 0);
    if (!doc)
        throw Excpn<int>("Failed to parse XML from memory: invalid input", 0);
    adopt(doc);
}

void LibXml::parseString(const std::string& xml) {
    clear();
    if (xml.empty())
        throw Excpn<int>("Input XML is empty", 0);
    xmlDocPtr doc = xmlParseDoc(tavxml::xml(xml));
    if (!doc)
        throw Excpn<int>("Failed to parse XML: invalid input", 0);
    adopt(doc);
}

xmlNodePtr LibXml::getRootElement() const { return xmlDocGetRootElement(m_doc.get()); }

std::string LibXml::getAttribute(xmlNodePtr node, const std::string& name) const {
    return Utils::xmlGetAttribute(node, name);
}

xmlAttrPtr LibXml::setAttribute(xmlNodePtr node, const std::string& name, const std::string& value) {
    return Utils::xmlSetAttribute(node, name, value);
}

void LibXml::toString(std::string& out) const { Utils::xmlDocumentToString(m_doc.get(), out); }

int LibXml::xPathCountNodes(const std::string& /*path*/) {
    SLOGW("xPathCountNodes to be implemented");
    return 0;
}

std::string LibXml::xPathNodeValue(const std::string& /*path*/) {
    SLOGW("xPathNodeValue to be implemented");
    return "";
}
