#include "collector/Upload.h"

#include "collector/Text.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace collector {

const std::array<const char*, 5> kRequiredHeaders = {"pincode", "crc32", "category", "sessionid", "source"};
const std::array<const char*, 3> kOptionalHeaders = {"duid", "Date", "Year"};
const char* const kCategory = "TAVAS";
const char* const kSource = "survey";

namespace {

[[noreturn]] void refuse(const char* stat, const std::string& message, int status = 400) {
    throw UploadError(stat, status, message);
}

bool isName(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string contentOf(const xmlNode* node) {
    xmlChar* text = xmlNodeGetContent(node);
    std::string out = text ? reinterpret_cast<const char*>(text) : "";
    xmlFree(text);
    return out;
}

// The one child element called `name`; "baddata" when it is missing or repeated.
const xmlNode* onlyChild(const xmlNode* parent, const char* name) {
    const xmlNode* found = nullptr;
    for (const xmlNode* c = parent->children; c; c = c->next) {
        if (!isName(c, name))
            continue;
        if (found)
            refuse("baddata", std::string("more than one <") + name + ">");
        found = c;
    }
    if (!found)
        refuse("baddata", std::string("missing <") + name + ">");
    return found;
}

// A decimal attribute; "baddata" when missing or not a whole number.
int intAttribute(const xmlNode* node, const char* name) {
    xmlChar* raw = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!raw)
        refuse("baddata", std::string("item without \"") + name + "\"");
    const std::string text = reinterpret_cast<const char*>(raw);
    xmlFree(raw);
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        refuse("baddata", std::string("item attribute \"") + name + "\" is not a number: " + text);
    return static_cast<int>(value);
}

// The length of the UTF-8 sequence at text[i] when it is one character that XML 1.0 allows
// (tab, line ends, U+0020..U+D7FF, U+E000..U+FFFD, U+10000..U+10FFFF); 0 otherwise.
size_t xmlCharLength(const std::string& text, size_t i) {
    uint32_t cp = 0;
    const size_t n = utf8At(text, i, cp);
    if (n == 0 || cp == 0xFFFE || cp == 0xFFFF)
        return 0;
    return cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r' ? n : 0;
}

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The value of parameter `name` in a header value like `form-data; name="file"; filename="x"`
// (names compared case-insensitively, quoted values unquoted); `found` tells a missing one.
std::string headerParameter(const std::string& value, const std::string& name, bool& found) {
    found = false;
    size_t at = value.find(';');
    while (at != std::string::npos) {
        ++at;
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t'))
            ++at;
        const size_t eq = value.find('=', at);
        if (eq == std::string::npos)
            return "";
        std::string key = value.substr(at, eq - at);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        std::string text;
        size_t next = eq + 1;
        if (next < value.size() && value[next] == '"') {
            for (++next; next < value.size() && value[next] != '"'; ++next) {
                if (value[next] == '\\' && next + 1 < value.size())
                    ++next;
                text += value[next];
            }
            if (next >= value.size())
                refuse("badrequest", "unterminated quoted parameter");
            ++next;
        } else {
            const size_t end = value.find(';', next);
            text = value.substr(next, end == std::string::npos ? std::string::npos : end - next);
            while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
                text.pop_back();
        }
        if (lower(key) == name) {
            found = true;
            return text;
        }
        at = value.find(';', next);
    }
    return "";
}

} // namespace

FormFile formFile(const std::string& contentType, const std::string& body, const std::string& partName) {
    const std::string type = lower(contentType.substr(0, contentType.find(';')));
    if (type.find_first_not_of(" \t") == std::string::npos ||
        type.substr(type.find_first_not_of(" \t"), 19) != "multipart/form-data")
        refuse("badrequest", "expected multipart/form-data");
    bool has = false;
    const std::string boundary = headerParameter(contentType, "boundary", has);
    if (!has || boundary.empty() || boundary.size() > 70)
        refuse("badrequest", "multipart form without a usable boundary");
    const std::string delimiter = "--" + boundary;

    size_t at = body.find(delimiter);
    if (at == std::string::npos || (at != 0 && (at < 2 || body.compare(at - 2, 2, "\r\n") != 0)))
        refuse("badrequest", "multipart form without its first boundary");
    FormFile file;
    for (;;) {
        at += delimiter.size();
        if (body.compare(at, 2, "--") == 0)
            return file;  // the closing delimiter; what follows is epilogue
        while (at < body.size() && (body[at] == ' ' || body[at] == '\t'))
            ++at;
        if (body.compare(at, 2, "\r\n") != 0)
            refuse("badrequest", "malformed multipart boundary line");
        at += 2;
        const size_t headersEnd = body.compare(at, 2, "\r\n") == 0 ? at : body.find("\r\n\r\n", at);
        if (headersEnd == std::string::npos)
            refuse("badrequest", "multipart part without the end of its headers");
        std::string disposition;
        for (size_t line = at; line < headersEnd;) {
            size_t end = body.find("\r\n", line);
            if (end == std::string::npos || end > headersEnd)
                end = headersEnd;
            const std::string text = body.substr(line, end - line);
            const size_t colon = text.find(':');
            if (colon == std::string::npos)
                refuse("badrequest", "malformed multipart part header");
            if (lower(text.substr(0, colon)) == "content-disposition")
                disposition = text.substr(colon + 1);
            line = end + 2;
        }
        const size_t contentStart = headersEnd + (headersEnd == at ? 2 : 4);
        const size_t contentEnd = body.find("\r\n" + delimiter, contentStart);
        if (contentEnd == std::string::npos)
            refuse("badrequest", "multipart part without a closing boundary");
        const size_t lead = disposition.find_first_not_of(" \t");
        if (lead == std::string::npos || lower(disposition.substr(lead, 9)) != "form-data")
            refuse("badrequest", "multipart part that is not form-data");
        const std::string name = headerParameter(disposition, "name", has);
        if (!has)
            refuse("badrequest", "multipart part without a name");
        if (!file.found && name == partName) {
            file.found = true;
            file.fileName = headerParameter(disposition, "filename", has);
            file.content = body.substr(contentStart, contentEnd - contentStart);
        }
        at = contentEnd + 2;
    }
}

uint32_t crc32Of(const std::string& bytes) {
    uLong crc = ::crc32(0L, Z_NULL, 0);
    // zlib takes at most uInt bytes per call.
    const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        const uInt n = left > UINT_MAX ? UINT_MAX : static_cast<uInt>(left);
        crc = ::crc32(crc, p, n);
        p += n;
        left -= n;
    }
    return static_cast<uint32_t>(crc);
}

uint32_t parseCrcHeader(const std::string& text) {
    const bool digitsOnly = !text.empty() && text.size() <= 10 &&
                            text.find_first_not_of("0123456789") == std::string::npos;
    if (!digitsOnly || (text.size() > 1 && text[0] == '0'))
        refuse("badcrc", "crc32 header is not unsigned decimal: \"" + text + "\"");
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    if (value > 0xFFFFFFFFULL)
        refuse("badcrc", "crc32 header out of range: " + text);
    return static_cast<uint32_t>(value);
}

std::string gunzip(const std::string& data, size_t limit) {
    // Magic bytes first: zlib would also take a raw zlib stream with 32 window bits, and the
    // television only ever sends gzip.
    if (data.size() < 18 || static_cast<unsigned char>(data[0]) != 0x1f ||
        static_cast<unsigned char>(data[1]) != 0x8b)
        refuse("badgzip", "file is not a gzip stream");
    if (data.size() > UINT_MAX)
        refuse("toolarge", "file too large", 413);

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        throw std::runtime_error("inflateInit2 failed");
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&zs, inflateEnd);

    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buf[16384];
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef*>(buf);
        zs.avail_out = sizeof buf;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            refuse("badgzip", std::string("gzip stream is corrupt: ") + (zs.msg ? zs.msg : "?"));
        out.append(buf, sizeof buf - zs.avail_out);
        if (out.size() > limit)
            refuse("toolarge", "inflated envelope exceeds " + std::to_string(limit) + " bytes", 413);
        if (rc == Z_STREAM_END) {
            if (zs.avail_in == 0)
                return out;
            // Another gzip member follows.
            if (inflateReset(&zs) != Z_OK)
                refuse("badgzip", "gzip stream is corrupt");
            continue;
        }
        if (rc == Z_BUF_ERROR && zs.avail_in == 0)
            refuse("badgzip", "gzip stream is truncated");
    }
}

Envelope parseEnvelope(const std::string& xml) {
    // No network, no entity expansion, no DTD loading, no messages on stderr.
    std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(
        xml.data(), static_cast<int>(xml.size()), "envelope.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc)
        refuse("badxml", "envelope is not well-formed XML");
    // The television never sends a document type; refusing one keeps entity expansion (and
    // its memory blow-ups) out of reach.
    if (doc->intSubset || doc->extSubset)
        refuse("badxml", "envelope carries a document type declaration");
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root || !isName(root, "survey"))
        refuse("badxml", "envelope root is not <survey>");

    Envelope env;
    const xmlNode* device = onlyChild(root, "deviceinfo");
    env.device.duid = contentOf(onlyChild(device, "DUID"));
    env.device.localSet = contentOf(onlyChild(device, "LocalSet"));
    env.device.country = contentOf(onlyChild(device, "Country"));
    env.device.modelName = contentOf(onlyChild(device, "Model_Name"));
    env.device.firmwareVersion = contentOf(onlyChild(device, "Firmware_Version"));

    const xmlNode* result = onlyChild(root, "result");
    bool seen[kQuestionCount] = {};
    for (const xmlNode* c = result->children; c; c = c->next) {
        if (!isName(c, "item"))
            continue;
        SurveyItem item;
        item.index = intAttribute(c, "index");
        item.selected = intAttribute(c, "selected");
        if (item.index < 1 || item.index > kQuestionCount)
            refuse("baddata", "item index " + std::to_string(item.index) + " is not a question");
        if (seen[item.index - 1])
            refuse("baddata", "question " + std::to_string(item.index) + " answered twice");
        seen[item.index - 1] = true;
        const int answers = kAnswersPerQuestion[static_cast<size_t>(item.index - 1)];
        if (item.selected < 1 || item.selected > answers)
            refuse("baddata", "question " + std::to_string(item.index) + " has no answer " +
                                  std::to_string(item.selected));
        item.question = contentOf(onlyChild(c, "question"));
        item.answer = contentOf(onlyChild(c, "answer"));
        env.items.push_back(std::move(item));
    }
    if (env.items.empty())
        refuse("baddata", "result holds no item");
    return env;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        switch (p[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // The text may quote a request header byte for byte; what is no XML character
            // (control characters, broken UTF-8) would make the whole reply unreadable.
            if (const size_t n = xmlCharLength(text, i)) {
                out.append(text, i, n);
                i += n;
                continue;
            }
            out += '?';
        }
        ++i;
    }
    return out;
}

} // namespace collector
