// Text from the network, checked and made safe to print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace collector {

// The UTF-8 sequence at s[i]: its length (1 to 4) with its code point in `cp`, or 0 when the
// bytes there are not valid UTF-8 (a stray or missing continuation byte, an overlong form, a
// surrogate, past U+10FFFF).
size_t utf8At(const std::string& s, size_t i, uint32_t& cp);

// C0 and C1 controls and DEL (a UTF-8 terminal takes U+009B as CSI), and the marks that reorder
// the text around them on screen, so that a value could hide or disguise its neighbours.
bool actsOnTheScreen(uint32_t cp);

// `s` with nothing a terminal would act on: ASCII controls, DEL and bytes that are not UTF-8
// become \xNN, C1 controls and the bidirectional overrides \uNNNN, a backslash \\ (so that an
// escape in the output always means one). Everything else stays as it is.
std::string escapeControls(const std::string& s);

} // namespace collector
