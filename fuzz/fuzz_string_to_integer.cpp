// StringToInteger::Convert on arbitrary text against its definition: leading white space, an
// optional sign, decimal digits up to the first other character; 0 when there is no digit or the
// value is outside int. Also the way back: IntegerToString and StringToInteger agree on every int.
#include "FuzzSupport.h"
#include "Utils.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

int expectedValue(const char* s) {
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        ++s;
    const bool negative = *s == '-';
    if (*s == '-' || *s == '+')
        ++s;
    if (*s < '0' || *s > '9')
        return 0;
    long long value = 0;  // stops growing once it is out of range either way
    for (; *s >= '0' && *s <= '9'; ++s)
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (*s - '0');
    if (negative)
        value = -value;
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The conversion reads a C string: the text ends at its first zero byte.
    FUZZ_CHECK(StringToInteger::Convert(text) == expectedValue(text.c_str()));

    if (size >= sizeof(int)) {
        int n;
        std::memcpy(&n, data, sizeof n);
        FUZZ_CHECK(StringToInteger::Convert(IntegerToString::Convert(n)) == n);
        FUZZ_CHECK(IntegerToString::Convert(static_cast<unsigned>(n)) == std::to_string(static_cast<unsigned>(n)));
    }
    return 0;
}
