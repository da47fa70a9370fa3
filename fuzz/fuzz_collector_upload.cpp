// Uploads as the collector receives them: Beast's request parser with the server's limits
// (request line, headers, Content-Length or chunked body), then the upload route: multipart
// form, header checks, CRC, gunzip, envelope checks and store, without a socket or TLS.
//
// Input: a mode byte, header lines, a blank line ("\n\n"), the body.
//   mode % 3 == 0  the body goes as it is; Content-Type and crc32 are whatever the lines say.
//   mode % 3 == 1  the body is the content of the part "file": the harness frames the form and
//                  sends the content's CRC-32 first, so mutations get past the CRC check.
//   mode % 3 == 2  as 1, with the content gzipped first, so mutations reach the envelope checks.
// Checked for every request: a reply is made, it is an <rsp> document with a "stat", "ok" comes
// with 200 and only then is an upload counted, and nothing ends in a 500.
#include "FuzzSupport.h"

#include "collector/CollectorServer.h"
#include "collector/Upload.h"

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char kBoundary[] = "------------------------tavfuzz7d3b1e";

collector::ServerOptions options() {
    collector::ServerOptions o;
    o.dbPath = ":memory:";
    o.log = [](const std::string&) {};
    return o;
}

struct Collector {
    collector::CollectorServer collector{options()};
};

// What the server does with the bytes of one request: parse them under its limits, refuse what
// breaks them the way it does, route the rest.
collector::HttpResponse serve(collector::CollectorServer& c, const std::string& bytes) {
    namespace http = boost::beast::http;
    const collector::HttpLimits limits;
    http::request_parser<http::string_body> parser;
    parser.header_limit(static_cast<std::uint32_t>(limits.maxHead));
    parser.body_limit(limits.maxBody);
    boost::beast::error_code ec;
    size_t at = 0;
    while (!ec && at < bytes.size() && !parser.is_done()) {
        const size_t used = parser.put(boost::asio::buffer(bytes.data() + at, bytes.size() - at), ec);
        if (used == 0)
            break;
        at += used;
    }
    if (ec == http::error::need_more)
        ec = {};
    if (!ec && !parser.is_done())
        parser.put_eof(ec);
    if (ec == http::error::header_limit)
        return c.errorReply(431, "head");
    if (ec == http::error::body_limit)
        return c.errorReply(413, "body");
    if (ec || !parser.is_done())
        return c.errorReply(400, ec ? ec.message() : "incomplete");
    size_t lines = 0;
    for (auto it = parser.get().begin(); it != parser.get().end(); ++it)
        ++lines;
    if (lines > limits.maxHeaderLines)
        return c.errorReply(431, "lines");
    collector::Router::eMatch why{};
    const collector::RouteHandler* route =
        c.router().find(std::string(parser.get().method_string()), std::string(parser.get().target()), why);
    if (!route)
        return c.errorReply(why == collector::Router::eMatch::NoMethod ? 405 : 404, "route");
    return (*route)(parser.get(), "127.0.0.1");
}

std::string gzip(const std::string& data) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
    zs.avail_out = static_cast<uInt>(out.size());
    FUZZ_CHECK(deflate(&zs, Z_FINISH) == Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string buildRequest(int mode, const std::string& headerBlock, std::string body) {
    std::string request = "POST /survey HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (mode != 0) {
        const std::string content = mode == 2 ? gzip(body) : body;
        request += "Content-Type: multipart/form-data; boundary=" + std::string(kBoundary) + "\r\n";
        request += "crc32: " + std::to_string(collector::crc32Of(content)) + "\r\n";
        body = "--" + std::string(kBoundary) +
               "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"Survey_20261204_145431_QE55.zip\"\r\n"
               "Content-Type: application/octet-stream\r\n\r\n" +
               content + "\r\n--" + kBoundary + "--\r\n";
    }
    // Every line ends in CRLF as on the wire; the block holds no blank line, so the header
    // section ends where the harness ends it.
    for (size_t at = 0; at < headerBlock.size();) {
        size_t end = headerBlock.find('\n', at);
        if (end == std::string::npos)
            end = headerBlock.size();
        if (end > at)
            request += headerBlock.substr(at, end - at) + "\r\n";
        at = end + 1;
    }
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    return request + body;
}

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// The "stat" of an <rsp> reply body; null when the body is no such document.
std::unique_ptr<std::string> rspStat(const std::string& body) {
    std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(body.data(), static_cast<int>(body.size()), "rsp.xml", nullptr,
                                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root || std::strcmp(reinterpret_cast<const char*>(root->name), "rsp") != 0)
        return nullptr;
    xmlChar* stat = xmlGetProp(root, reinterpret_cast<const xmlChar*>("stat"));
    if (!stat)
        return nullptr;
    auto out = std::make_unique<std::string>(reinterpret_cast<const char*>(stat));
    xmlFree(stat);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<Collector> state;
    // Accepted uploads pile up in the in-memory database; start afresh now and then.
    if (!state || state->collector.accepted() >= 1000)
        state = std::make_unique<Collector>();
    if (size < 1)
        return 0;
    const int mode = data[0] % 3;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t split = input.find("\n\n");
    const std::string headers = input.substr(0, split);
    const std::string body = split == std::string::npos ? std::string() : input.substr(split + 2);

    const size_t acceptedBefore = state->collector.accepted();
    const collector::HttpResponse reply = serve(state->collector, buildRequest(mode, headers, body));
    static const bool show = std::getenv("TAV_FUZZ_SHOW_REPLY") != nullptr;  // while reproducing
    if (show)
        std::fprintf(stderr, "%u %s\n", reply.status, reply.body.c_str());
    const unsigned status = reply.status;
    FUZZ_CHECK(status != 500);
    const bool accepted = state->collector.accepted() == acceptedBefore + 1;
    FUZZ_CHECK(accepted || state->collector.accepted() == acceptedBefore);
    const std::unique_ptr<std::string> stat = rspStat(reply.body);
    FUZZ_CHECK(stat != nullptr);
    FUZZ_CHECK((*stat == "ok") == (status == 200));
    FUZZ_CHECK(accepted == (status == 200));
    return 0;
}
