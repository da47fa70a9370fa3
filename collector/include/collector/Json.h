// A small streaming JSON writer: commas and nesting are tracked, strings are escaped so that the
// text is safe inside HTML too, and bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace collector {

class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : m_out(out) {}

    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(const std::string& name);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(const char* text) { return value(std::string(text)); }
    JsonWriter& value(int64_t number);
    JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(double number);  // NaN and infinities are written as null
    JsonWriter& null();

    template <typename T>
    JsonWriter& field(const std::string& name, const T& v) {
        key(name);
        return value(v);
    }

private:
    JsonWriter& open(char c);
    JsonWriter& close(char c);
    void separate();

    std::string& m_out;
    std::vector<bool> m_first;  // per open container: nothing written in it yet
    bool m_afterKey = false;
};

// The inside of a JSON string for `s`: quote and backslash escaped, line feed as \n, controls
// (C0, DEL, C1), U+2028, U+2029 and the bidirectional marks as \u escapes, and with `forHtml`
// also < > &; bytes that are not UTF-8 become U+FFFD.
void appendJsonEscaped(std::string& out, const std::string& s, bool forHtml);

// The JSON string literal of `text`, quotes included (HTML-safe).
std::string jsonString(const std::string& text);

} // namespace collector
