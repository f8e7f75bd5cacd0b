#include "system/device_users.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace meridan::testing {
namespace {

    using ::testing::Contains;
    using ::testing::HasSubstr;
    using ::testing::IsEmpty;

    // A program of another name holding a terminal open, as a serial monitor holds a port:
    // found by its name and process number.
    TEST(DeviceUsersTest, AProgramHoldingADeviceOpenIsNamedWithItsProcessNumber)
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const std::string port = ::ptsname(master);
        EXPECT_THAT(processesHolding(port), IsEmpty()) << "nobody else holds it yet";

        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_addopen(&actions, 3, port.c_str(), O_RDWR | O_NOCTTY, 0);
        char sleep[] = "sleep", seconds[] = "30";
        char *arguments[] = { sleep, seconds, nullptr };
        // The child's copy of this pipe closes as it execs: by then it holds the terminal, under
        // its new name.
        int exec[2];
        ASSERT_EQ(::pipe2(exec, O_CLOEXEC), 0);
        pid_t holder = -1;
        ASSERT_EQ(::posix_spawnp(&holder, "sleep", &actions, nullptr, arguments, environ), 0);
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(exec[1]);
        char byte;
        EXPECT_EQ(::read(exec[0], &byte, 1), 0);
        ::close(exec[0]);

        const std::vector<std::string> found = processesHolding(port);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ::close(master);
        EXPECT_THAT(found, Contains("sleep (pid " + std::to_string(holder) + ")"));
    }

    TEST(DeviceUsersTest, PermissionAdviceNamesTheDevicesOwnGroupOrAUdevRuleForRoot)
    {
        EXPECT_THAT(permissionAdvice(0), HasSubstr("only root may open it"));
        const gid_t dialout = 20;
        const ::group *entry = ::getgrgid(dialout);
        const std::string name = entry != nullptr ? entry->gr_name : "20";
        EXPECT_EQ(permissionAdvice(dialout),
                "it belongs to the group " + name + ": add your user to it (sudo usermod -aG "
                        + name + " $USER), then log in again");
        EXPECT_EQ(groupName(4'000'000'000u), "4000000000") << "a group with no name";
    }

} // namespace
} // namespace meridan::testing
