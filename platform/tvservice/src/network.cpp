// Stand-ins of the network adapters: Bluetooth and Wi-Fi addresses.
#include <bluetooth.h>
#include <wifi.h>

#include "common.h"

#include <atomic>

using tavplat::FaultMode;
using tavtv::detail::fault;

namespace {
std::atomic<int> g_btUsers{0};
}

extern "C" {

int bt_initialize(void) {
    tavplat::journalAppend("bt", "bt_initialize");
    if (fault("bt_initialize") != FaultMode::None)
        return BT_ERROR_OPERATION_FAILED;
    ++g_btUsers;
    return BT_ERROR_NONE;
}

int bt_deinitialize(void) {
    tavplat::journalAppend("bt", "bt_deinitialize");
    if (fault("bt_deinitialize") != FaultMode::None)
        return BT_ERROR_OPERATION_FAILED;
    if (g_btUsers.load() <= 0)
        return BT_ERROR_NOT_INITIALIZED;
    --g_btUsers;
    return BT_ERROR_NONE;
}

int bt_adapter_get_address(char** local_address) {
    tavplat::journalAppend("bt", "bt_adapter_get_address");
    if (!local_address)
        return BT_ERROR_OPERATION_FAILED;
    if (g_btUsers.load() <= 0)
        return BT_ERROR_NOT_INITIALIZED;
    const FaultMode f = fault("bt_adapter_get_address");
    if (f == FaultMode::Fail)
        return BT_ERROR_OPERATION_FAILED;
    if (f == FaultMode::Null) {
        *local_address = nullptr;
        return BT_ERROR_NONE;
    }
    auto v = tavplat::profileString("bt/address");
    if (!v)
        return BT_ERROR_OPERATION_FAILED;
    *local_address = tavtv::detail::mallocCopy(*v);
    return BT_ERROR_NONE;
}

int wifi_get_mac_address(char** mac_address) {
    if (!mac_address)
        return WIFI_ERROR_OPERATION_FAILED;
    const FaultMode f = fault("wifi_get_mac_address");
    if (f == FaultMode::Fail)
        return WIFI_ERROR_OPERATION_FAILED;
    if (f == FaultMode::Null) {
        *mac_address = nullptr;
        return WIFI_ERROR_NONE;
    }
    auto v = tavplat::profileString("wifi/mac_address");
    if (!v)
        return WIFI_ERROR_OPERATION_FAILED;
    *mac_address = tavtv::detail::mallocCopy(*v);
    return WIFI_ERROR_NONE;
}

} // extern "C"
