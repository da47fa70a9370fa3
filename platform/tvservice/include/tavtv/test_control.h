// Test-only view into the TV service stand-ins.
#pragma once

namespace tavtv::test {

// Sessions created and destroyed through Velmora since the process started (or the last reset).
struct SessionCounts {
    int created = 0;
    int destroyed = 0;
};
SessionCounts velmoraSessions();
void resetVelmoraSessions();

} // namespace tavtv::test
