#include "UinputRC.h"

#include <TavLog.h>
#include <VirtualKey.h>

#include <atomic>
#include <thread>

namespace UInput {

namespace {
// The virtual-key service needs a moment after initialisation before it accepts keys.
std::atomic<long long> g_startupPauseUs{1000000};
} // namespace

std::chrono::microseconds UinputRC::startupPause() { return std::chrono::microseconds(g_startupPauseUs.load()); }

void UinputRC::setStartupPause(std::chrono::microseconds pause) { g_startupPauseUs = pause.count(); }

UinputRC::UinputRC() {
    initMap();
    VirtualKey_Initialize(0);
    std::this_thread::sleep_for(startupPause());
}

UinputRC::~UinputRC() { VirtualKey_Finalize(); }

void UinputRC::initMap() {
    // Remote-control code -> keyboard key code, in the order of the service's code table.
    static const int kRows[][2] = {
        {1, 72},    {4, 10},    {5, 11},    {6, 12},    {8, 13},    {9, 14},    {10, 15},
        {12, 16},   {13, 17},   {14, 18},   {35, 20},   {17, 19},   {19, 190},  {31, 196},
        {121, 71},  {16, 95},   {88, 9},    {45, 182},  {18, 96},   {75, 135},  {110, 201},
        {7, 76},    {139, 143}, {11, 75},   {96, 111},  {15, 74},   {101, 113}, {104, 36},
        {98, 114},  {97, 116},  {26, 133},  {68, 191},  {107, 73},  {69, 176},  {74, 209},
        {72, 216},  {73, 175},  {71, 208},  {70, 174},  {108, 67},  {20, 68},   {21, 69},
        {22, 70},   {44, 200},  {49, 225},  {210, 148}, {206, 385}, {3, 150},   {63, 146},
        {62, 140},  {37, 215},  {53, 138},  {159, 199}, {40, 141},  {43, 197},  {0, 195},
    };
    for (const auto& row : kRows)
        m_rcKeyMap.insert({row[0], row[1]});
}

int UinputRC::rccode2keyboardcode(int rcCode) {
    LOGD("rccode: %d", rcCode);
    const auto it = m_rcKeyMap.find(rcCode);
    if (it == m_rcKeyMap.end()) {
        SLOGW("cannot find definition of rccode %d", rcCode);
        return 0;
    }
    return it->second;
}

// The virtual-key service's result is not reported: a key is sent and forgotten.
bool UinputRC::pressKey(int rcCode) {
    VirtualKey_Send_KeyCode(rccode2keyboardcode(rcCode), VIRTUALKEY_ACTION_PRESS);
    return true;
}

bool UinputRC::releaseKey(int rcCode) {
    VirtualKey_Send_KeyCode(rccode2keyboardcode(rcCode), VIRTUALKEY_ACTION_RELEASE);
    return true;
}

bool UinputRC::hitKey(int rcCode) {
    VirtualKey_Send_KeyCode(rccode2keyboardcode(rcCode), VIRTUALKEY_ACTION_PRESSRELEASE);
    return true;
}

} // namespace UInput
