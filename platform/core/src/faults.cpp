#include "tavplat/platform.h"
#include "tavplat/test_control.h"

#include <dlog.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace tavplat {
namespace {

struct Faults {
    std::mutex mutex;
    std::map<std::string, Fault> byName;
    bool envLoaded = false;
};

Faults& faults() {
    static Faults* f = new Faults;   // read by stand-in threads until exit
    return *f;
}

// TAV_PLATFORM_FAULTS="name=fail,name=null,name=slow:250,name=fail:100" lets a test set faults
// in a child process it starts.
void loadEnv(Faults& f) {
    f.envLoaded = true;
    const char* env = std::getenv("TAV_PLATFORM_FAULTS");
    if (!env)
        return;
    std::string list(env);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos) {
            std::string what = item.substr(eq + 1);
            Fault fault;
            const size_t colon = what.find(':');
            if (colon != std::string::npos) {
                fault.delayMs = std::atoi(what.c_str() + colon + 1);
                what = what.substr(0, colon);
            }
            fault.mode = what == "fail" ? FaultMode::Fail : what == "null" ? FaultMode::Null : FaultMode::None;
            f.byName[item.substr(0, eq)] = fault;
        }
        start = end + 1;
    }
}

} // namespace

Fault checkFault(const std::string& name) {
    Fault fault;
    {
        Faults& f = faults();
        std::lock_guard<std::mutex> lock(f.mutex);
        if (!f.envLoaded)
            loadEnv(f);
        if (f.byName.empty())
            return fault;
        auto it = f.byName.find(name);
        if (it == f.byName.end())
            return fault;
        fault = it->second;
    }
    if (fault.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
    return fault;
}

bool callFails(const char* call, const char* tag) {
    if (checkFault(call).mode == FaultMode::None)
        return false;
    if (tag)
        dlog_print(DLOG_WARN, tag, "%s failed (fault)", call);
    return true;
}

namespace test {

void setFault(const std::string& name, FaultMode mode, int delayMs) {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.envLoaded = true;
    if (mode == FaultMode::None && delayMs == 0)
        f.byName.erase(name);
    else
        f.byName[name] = Fault{mode, delayMs};
}

void clearFaults() {
    Faults& f = faults();
    std::lock_guard<std::mutex> lock(f.mutex);
    f.envLoaded = true;
    f.byName.clear();
}

} // namespace test
} // namespace tavplat
