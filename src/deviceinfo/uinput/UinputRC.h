// The virtual remote control: translates the service's remote-control codes into keyboard key
// codes and sends them through the platform's virtual-key service.
#pragma once

#include <chrono>
#include <map>

namespace UInput {

class UinputRC {
public:
    // Fills the code map, starts the virtual-key service and waits for it to come up.
    UinputRC();
    virtual ~UinputRC();
    UinputRC(const UinputRC&) = delete;
    UinputRC& operator=(const UinputRC&) = delete;

    virtual bool pressKey(int rcCode);
    virtual bool releaseKey(int rcCode);
    virtual bool hitKey(int rcCode);

    void initMap();
    // The keyboard key code of a remote-control code, 0 for a code without one.
    int rccode2keyboardcode(int rcCode);

    // How long construction waits for the virtual-key service (one second). Tests shorten it.
    static std::chrono::microseconds startupPause();
    static void setStartupPause(std::chrono::microseconds pause);

private:
    std::map<int, int> m_rcKeyMap;
};

} // namespace UInput
