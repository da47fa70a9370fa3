// Every device-services test runs on a fresh emulated television, captures the log, and checks
// on the way out that each TV service session it caused was released again.
#pragma once

#include "TestSupport.h"
#include "tavplat/platform.h"
#include "tavplat/test_control.h"
#include "tavtv/test_control.h"

#include <gtest/gtest.h>

#include <string>

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        tavplat::test::useRoot(m_dir.path());
        tavtv::test::resetVelmoraSessions();
    }
    void TearDown() override {
        tavplat::test::clearFaults();
        const auto sessions = tavtv::test::velmoraSessions();
        EXPECT_EQ(sessions.created, sessions.destroyed) << "a TV service session was not released";
    }
    static void set(const std::string& key, const std::string& type, const std::string& value) {
        ASSERT_TRUE(tavplat::profileSet(key, type, value));
    }
    static void fault(const std::string& name, tavplat::FaultMode mode = tavplat::FaultMode::Fail, int delayMs = 0) {
        tavplat::test::setFault(name, mode, delayMs);
    }
    bool warned(const std::string& body) const { return m_log.has(LOG_ID_SYSTEM, DLOG_WARN, body); }

    tavtest::TempDir m_dir;
    tavplat::test::LogCapture m_log;
};
