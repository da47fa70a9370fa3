#include "Utils.h"

#include "Excpn.h"
#include "TavLog.h"
#include "XmlHandles.h"

#include <libxml/xmlsave.h>

std::vector<xmlNodePtr> Utils::xmlFindNodes(xmlNodePtr node, const std::string& xpath) {
    if (!node) {
        LOGW("NodePtr is null");
        throw Excpn<int>("xmlNodePtr is null", 0);
    }
    tavxml::ContextOwner context(xmlXPathNewContext(node->doc));
    if (!context)
        throw Excpn<int>("Failed to create new XPath context", 0);
    context->node = node;
    const tavxml::ObjectOwner result(xmlXPathEvalExpression(tavxml::xml(xpath), context.get()));
    if (!result)
        throw Excpn<int>("Failed to evaluate XPath: " + xpath, 0);
    return tavxml::nodes(result.get());
}

std::string Utils::xmlGetAttribute(xmlNodePtr node, const std::string& name) {
    tavxml::StringOwner value(xmlGetProp(node, tavxml::xml(name)));
    if (!value)
        throw Excpn<int>("Failed to get attribute: " + name, 0);
    return tavxml::text(value.get());
}

xmlAttrPtr Utils::xmlSetAttribute(xmlNodePtr node, const std::string& name, const std::string& value) {
    // A detached attribute made for a null node would belong to nobody.
    if (!node)
        throw Excpn<int>("xmlNodePtr is null", 0);
    if (!xmlHasProp(node, tavxml::xml(name)))
        return xmlNewProp(node, tavxml::xml(name), tavxml::xml(value));
    return xmlSetProp(node, tavxml::xml(name), tavxml::xml(value));
}

void Utils::xmlDocumentToString(xmlDocPtr doc, std::string& out) {
    const tavxml::BufferOwner buffer(xmlBufferCreate());
    if (!buffer)
        throw Excpn<int>("Failed to create buffer with xmlBufferCreate().", 0);
    xmlOutputBufferPtr output = xmlOutputBufferCreateBuffer(buffer.get(), nullptr);
    if (!output)
        throw Excpn<int>("Failed to create output buffer with xmlOutputBufferCreateBuffer().", 0);
    // xmlSaveFormatFileTo closes (frees) the output buffer on every path; the xmlBuffer under it
    // stays ours.
    if (xmlSaveFormatFileTo(output, doc, "utf-8", 1) == -1)
        throw Excpn<int>("Failed to save XML to buffer with xmlSaveFormatFileTo().", 0);
    out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())), xmlBufferLength(buffer.get()));
}
