// A server reply as the survey upload reads it: any text, then the queries of the reader on
// every kind of node an XPath expression can select (elements, attributes, text, comments,
// processing instructions, namespace nodes, the document) and on results that are no node set.
#include "FuzzSupport.h"
#include "XmlParser.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Every query re-evaluates its path, so the list stays short: one path per kind of result.
const char* const kPaths[] = {
    "/rsp/crc", "//@*", "//namespace::*", "//node()", "/", "//n:*", "count(//*)", "//*[",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XmlParser parser(std::string(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(parser.registerNamespace("urn:tav", "n") == 0);
    parser.getProperty("/rsp", "stat");
    parser.getProperty("/rsp/crc", "value");

    for (const char* path : kPaths) {
        const int count = parser.getPropertyOccurrence(path);
        const std::vector<std::string> values = parser.getPropertyList(path);
        FUZZ_CHECK(count >= 0 && values.size() == static_cast<size_t>(count));
        for (int i = 0; i < std::min(count, 3); ++i) {
            parser.getProperty(path, "", i);
            parser.getProperty(path, "stat", i);
            parser.getChildOccurrence(path, "text", i);
        }
        // Past the last match there is nothing to read.
        FUZZ_CHECK(parser.getProperty(path, "", count).empty());
        FUZZ_CHECK(parser.getProperty(path, "stat", -1).empty());
        FUZZ_CHECK(parser.getChildOccurrence(path, "text", count) == 0);
    }
    return 0;
}
