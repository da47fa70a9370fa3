// Stand-ins of the small closed libraries: web application service (lumo), key store (dekk),
// HDMI-CEC proxy (cec) and power control.
#include <IPowerControl.h>
#include <cec.h>
#include <dekk.h>
#include <lumo.h>

#include "common.h"

#include <cstddef>

using tavplat::FaultMode;
using tavtv::detail::fault;
using tavtv::detail::profileInt;

static_assert(sizeof(lumo_debug_info_s) == LUMO_DEBUG_INFO_SIZE, "record size is fixed");
static_assert(offsetof(lumo_debug_info_s, hub_site) == 256, "hub site offset is fixed");
static_assert(offsetof(lumo_debug_info_s, dataven_firmcode) == 1152, "firm code offset is fixed");

namespace {

template <size_t N>
void fill(char (&field)[N], const std::string& text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

class PowerControl : public IPowerControl {
public:
    int GetVccFailCount(unsigned int* count) override {
        return read("IPowerControl::GetVccFailCount", "power/vcc_fail_count", count);
    }
    int GetWatchDogCount(unsigned int* count) override {
        return read("IPowerControl::GetWatchDogCount", "power/watchdog_count", count);
    }

private:
    static int read(const char* call, const char* key, unsigned int* count) {
        if (fault(call) != FaultMode::None || !count)
            return -1;
        auto v = tavplat::profileInt(key);
        if (!v || *v < 0 || *v > UINT32_MAX)
            return -1;
        *count = static_cast<unsigned int>(*v);
        return 0;
    }
};

} // namespace

IPowerControl* IPowerControl::getInstance() {
    fault("IPowerControl::getInstance");   // only a delay applies: callers rely on an instance
    static PowerControl instance;
    return &instance;
}

extern "C" {

int lumo_get_debug_info(lumo_debug_info_s* info) {
    if (fault("lumo_get_debug_info") != FaultMode::None || !info)
        return -1;
    fill(info->engine_version, tavplat::profileString("lumo/engine_version").value_or(""));
    fill(info->hub_site, tavplat::profileString("lumo/hub_site").value_or(""));
    fill(info->dataven_firmcode, tavplat::profileString("lumo/dataven_firmcode").value_or(""));
    return 0;
}

int lumo_get_used_memory(char** used_memory) {
    if (!used_memory)
        return -1;
    const FaultMode f = fault("lumo_get_used_memory");
    if (f == FaultMode::Fail)
        return -1;
    if (f == FaultMode::Null) {
        *used_memory = nullptr;
        return 0;
    }
    auto v = tavplat::profileString("lumo/used_memory");
    if (!v)
        return -1;
    *used_memory = tavtv::detail::mallocCopy(*v);
    return 0;
}

int dekk_get_esn(unsigned char* buffer, int* length) {
    if (fault("dekk_get_esn") != FaultMode::None || !buffer || !length || *length < 0)
        return -1;
    auto esn = tavplat::profileBytes("dekk/esn");
    if (!esn || esn->size() > static_cast<size_t>(*length))
        return -1;
    std::memcpy(buffer, esn->data(), esn->size());
    *length = static_cast<int>(esn->size());
    return 0;
}

int cec_init_proxy(void) {
    tavplat::journalAppend("cec", "cec_init_proxy");
    return fault("cec_init_proxy") == FaultMode::None ? 0 : -1;
}

int cec_is_enable(void) {
    tavplat::journalAppend("cec", "cec_is_enable");
    if (fault("cec_is_enable") != FaultMode::None)
        return -1;
    return profileInt("cec/enable").value_or(0) != 0 ? 1 : 0;
}

int cec_set_enable(int enable) {
    tavplat::journalAppend("cec", "cec_set_enable " + std::to_string(enable));
    if (fault("cec_set_enable") != FaultMode::None)
        return -1;
    return tavtv::detail::storeInt("cec/enable", enable != 0 ? 1 : 0) ? 0 : -1;
}

int cec_close_proxy(void) {
    tavplat::journalAppend("cec", "cec_close_proxy");
    return fault("cec_close_proxy") == FaultMode::None ? 0 : -1;
}

} // extern "C"
