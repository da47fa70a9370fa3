// Common start of the sound, input and application tests: no faults, empty journals and a
// virtual remote control that starts without its one-second pause.
#pragma once

#include "UinputRC.h"
#include "tavplat/platform.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class DeviceServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        tavplat::test::clearFaults();
        for (const char* journal : {"feedback", "virtualkey", "sound_manager", "wav_player", "app_launch", "app_terminate"})
            tavplat::journalClear(journal);
        m_pause = UInput::UinputRC::startupPause();
        UInput::UinputRC::setStartupPause(std::chrono::microseconds(0));
    }
    void TearDown() override {
        tavplat::test::clearFaults();
        UInput::UinputRC::setStartupPause(m_pause);
    }
    static std::vector<std::string> journal(const char* name) { return tavplat::journalRead(name); }

    tavplat::test::LogCapture m_log;
    std::chrono::microseconds m_pause{};
};
