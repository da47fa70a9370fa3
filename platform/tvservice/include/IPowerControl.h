// Power-control library (stand-in): counters from the device profile ("power/..." keys).
// Each query consults the fault switch of its own name ("IPowerControl::GetVccFailCount", ...).
#pragma once

class IPowerControl {
public:
    static IPowerControl* getInstance();
    virtual ~IPowerControl() = default;

    // Negative on failure.
    virtual int GetVccFailCount(unsigned int* count) = 0;
    virtual int GetWatchDogCount(unsigned int* count) = 0;
};
