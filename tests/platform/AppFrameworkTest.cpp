// Application framework stand-in: launch requests, the registry and the journals the other
// tests rely on.
#include <app_control.h>
#include <app_manager.h>

#include "tavplat/appfw.h"
#include "tavplat/test_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace appfw = tavplat::appfw;

namespace {

struct AppFramework : ::testing::Test {
    void SetUp() override {
        tavplat::test::clearFaults();
        appfw::clearLaunches();
        appfw::clearTerminations();
        for (const auto& id : appfw::runningApps())
            appfw::setRunning(id, false);
    }
    void TearDown() override { tavplat::test::clearFaults(); }
};

int launch(const char* appId, std::initializer_list<std::pair<const char*, const char*>> extras) {
    app_control_h h = nullptr;
    EXPECT_EQ(APP_CONTROL_ERROR_NONE, app_control_create(&h));
    app_control_set_operation(h, APP_CONTROL_OPERATION_DEFAULT);
    for (const auto& [k, v] : extras)
        EXPECT_EQ(APP_CONTROL_ERROR_NONE, app_control_add_extra_data(h, k, v));
    if (appId)
        app_control_set_app_id(h, appId);
    const int rc = app_control_send_launch_request(h, nullptr, nullptr);
    app_control_destroy(h);
    return rc;
}

} // namespace

TEST_F(AppFramework, SeededRegistryAndUnknownApplications) {
    for (const char* id : {"org.vintre.firstscreen", "org.tizen.tav-service-icon", "org.tizen.tavrin"})
        EXPECT_TRUE(appfw::isInstalled(id)) << id;
    EXPECT_TRUE(appfw::runningApps().empty());

    EXPECT_EQ(APP_CONTROL_ERROR_APP_NOT_FOUND, launch("org.example.missing", {}));
    EXPECT_EQ(APP_CONTROL_ERROR_APP_NOT_FOUND, launch(nullptr, {}));
    EXPECT_EQ(APP_CONTROL_ERROR_APP_NOT_FOUND, launch("../installed", {}));
    EXPECT_TRUE(appfw::launches().empty());
    EXPECT_FALSE(appfw::isRunning("org.example.missing"));
    EXPECT_EQ(APP_CONTROL_ERROR_INVALID_PARAMETER, app_control_send_launch_request(nullptr, nullptr, nullptr));

    tavplat::test::setFault("app_control_send_launch_request", tavplat::FaultMode::Fail);
    EXPECT_EQ(APP_CONTROL_ERROR_LAUNCH_FAILED, launch("org.tizen.tavrin", {}));
    EXPECT_TRUE(appfw::launches().empty());
}

TEST_F(AppFramework, LaunchJournalKeepsOrderDuplicatesAndAnyText) {
    ASSERT_EQ(0, launch("org.vintre.firstscreen", {}));
    ASSERT_EQ(0, launch("org.tizen.tavrin", {{"b", "1"}, {"a", "x=y\t%41\nz"}, {"b", "2"}}));

    const auto records = appfw::launches();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("org.vintre.firstscreen", records[0].appId);
    EXPECT_EQ(APP_CONTROL_OPERATION_DEFAULT, records[0].operation);
    EXPECT_TRUE(records[0].extras.empty());
    using Extras = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ((Extras{{"b", "1"}, {"a", "x=y\t%41\nz"}, {"b", "2"}}), records[1].extras);
    EXPECT_TRUE(appfw::isRunning("org.tizen.tavrin"));

    // Reading a duplicated key gives the last value; a missing key is an error.
    app_control_h h = nullptr;
    app_control_create(&h);
    app_control_add_extra_data(h, "url", "first");
    app_control_add_extra_data(h, "url", "second");
    char* value = nullptr;
    ASSERT_EQ(APP_CONTROL_ERROR_NONE, app_control_get_extra_data(h, "url", &value));
    EXPECT_STREQ("second", value);
    std::free(value);
    EXPECT_EQ(APP_CONTROL_ERROR_KEY_NOT_FOUND, app_control_get_extra_data(h, "pincode", &value));
    EXPECT_EQ(APP_CONTROL_ERROR_INVALID_PARAMETER, app_control_add_extra_data(h, "", "v"));
    app_control_destroy(h);

    appfw::LaunchRecord bad;
    EXPECT_FALSE(appfw::decodeLaunch("only-one-field", bad));
    EXPECT_FALSE(appfw::decodeLaunch("app\top\tkey%4", bad));
}

TEST_F(AppFramework, ContextsAndTermination) {
    app_context_h ctx = nullptr;
    EXPECT_EQ(APP_MANAGER_ERROR_NO_SUCH_APP, app_manager_get_app_context("org.tizen.tavrin", &ctx));

    ASSERT_TRUE(appfw::setRunning("org.tizen.tav-service-icon", true));
    EXPECT_FALSE(appfw::setRunning("org.example.missing", true));
    bool running = false;
    ASSERT_EQ(0, app_manager_is_running("org.tizen.tav-service-icon", &running));
    EXPECT_TRUE(running);

    ASSERT_EQ(0, app_manager_get_app_context("org.tizen.tav-service-icon", &ctx));
    EXPECT_EQ(0, app_manager_terminate_app(ctx));
    EXPECT_EQ(APP_MANAGER_ERROR_APP_NO_RUNNING, app_manager_terminate_app(ctx));
    EXPECT_EQ(0, app_context_destroy(ctx));
    EXPECT_FALSE(appfw::isRunning("org.tizen.tav-service-icon"));
    EXPECT_EQ(std::vector<std::string>{"org.tizen.tav-service-icon"}, appfw::terminations());

    tavplat::test::setFault("app_manager_is_running", tavplat::FaultMode::Fail);
    EXPECT_EQ(APP_MANAGER_ERROR_IO_ERROR, app_manager_is_running("org.tizen.tavrin", &running));
}
