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

// The JSON string literal of `text`, quotes included.
std::string jsonString(const std::string& text);

} // namespace collector
