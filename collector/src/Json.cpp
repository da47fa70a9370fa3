#include "collector/Json.h"

#include <cmath>
#include <cstdio>

namespace collector {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one (overlong forms,
// surrogates and values past U+10FFFF included).
size_t utf8Length(const std::string& s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n;
    unsigned int cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0Fu;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3Fu);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return n;
}

void appendString(std::string& out, const std::string& s) {
    out += '"';
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = utf8Length(s, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n == 3 && c == 0xE2 && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xA8) {
            // U+2028/U+2029 end a line in older JavaScript parsers.
            out += static_cast<unsigned char>(s[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
        } else if (n > 1) {
            out.append(s, i, n);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
        i += n;
    }
    out += '"';
}

} // namespace

std::string jsonString(const std::string& text) {
    std::string out;
    appendString(out, text);
    return out;
}

void JsonWriter::separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out += ',';
        m_first.back() = false;
    }
}

JsonWriter& JsonWriter::open(char c) {
    separate();
    m_out += c;
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::close(char c) {
    m_out += c;
    m_first.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
    separate();
    appendString(m_out, name);
    m_out += ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
    separate();
    appendString(m_out, text);
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
    separate();
    m_out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    if (!std::isfinite(number))
        return null();
    separate();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", number);
    m_out += buf;
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    m_out += "null";
    return *this;
}

} // namespace collector
