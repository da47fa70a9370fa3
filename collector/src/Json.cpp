#include "collector/Json.h"

#include "collector/Text.h"

#include <cmath>
#include <cstdio>

namespace collector {

void appendJsonEscaped(std::string& out, const std::string& s, bool forHtml) {
    char buf[8];
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = 0;
        const size_t n = utf8At(s, i, cp);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp == '\n') {
            out += "\\n";
        } else if (actsOnTheScreen(cp) || cp == 0x2028 || cp == 0x2029 ||  // line ends to older JavaScript
                   (forHtml && (cp == '<' || cp == '>' || cp == '&'))) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
}

namespace {

void appendString(std::string& out, const std::string& s) {
    out += '"';
    appendJsonEscaped(out, s, true);
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
