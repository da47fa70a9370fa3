// Reading texts that the platform allocates and the caller frees.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

namespace deviceinfo::detail {

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
// Owns a malloc'ed platform text, so it is freed on every path, exceptions included.
using PlatformText = std::unique_ptr<char, FreeDeleter>;

enum class TextRead { Ok, CallError, NoText };

// Calls `call(char**)` with a pointer that starts null; on a zero return with a text, copies
// the text into `out`. The raw text is freed in every case.
template <typename Call>
TextRead readPlatformText(Call&& call, std::string& out) {
    char* raw = nullptr;
    const int rc = call(&raw);
    PlatformText owner(raw);
    if (rc != 0)
        return TextRead::CallError;
    if (!owner)
        return TextRead::NoText;
    out = owner.get();
    return TextRead::Ok;
}

} // namespace deviceinfo::detail
