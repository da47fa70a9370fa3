// Every device-services test runs on a fresh emulated television (so empty journals and no
// faults), captures the log, and checks on the way out that each TV service session it caused
// was released again.
#pragma once

#include "TestSupport.h"
#include "UinputRC.h"
#include "tavplat/platform.h"
#include "tavplat/test_control.h"
#include "tavtv/test_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tavplat::FaultMode;
using Lines = std::vector<std::string>;

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        tavplat::test::useRoot(m_dir.path());
        tavtv::test::resetVelmoraSessions();
        // The virtual remote control starts without its one-second pause.
        m_pause = UInput::UinputRC::startupPause();
        UInput::UinputRC::setStartupPause(std::chrono::microseconds(0));
    }
    void TearDown() override {
        tavplat::test::clearFaults();
        UInput::UinputRC::setStartupPause(m_pause);
        const auto sessions = tavtv::test::velmoraSessions();
        EXPECT_EQ(sessions.created, sessions.destroyed) << "a TV service session was not released";
    }
    static void set(const std::string& key, const std::string& type, const std::string& value) {
        ASSERT_TRUE(tavplat::profileSet(key, type, value));
    }
    static void fault(const std::string& name, FaultMode mode = FaultMode::Fail, int delayMs = 0) {
        tavplat::test::setFault(name, mode, delayMs);
    }
    static Lines journal(const char* name) { return tavplat::journalRead(name); }
    bool warned(const std::string& body) const { return m_log.has(LOG_ID_SYSTEM, DLOG_WARN, body); }
    bool mainLog(int priority, const std::string& body) const { return m_log.has(LOG_ID_MAIN, priority, body); }

    tavtest::TempDir m_dir;
    tavplat::test::LogCapture m_log;
    std::chrono::microseconds m_pause{};
};
