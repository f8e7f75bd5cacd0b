#include "board/board_library.h"
#include "board/gpio/gpio_board.h"
#include "signal/form1.h"
#include "signal/run_time_error.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"

#include <QCoreApplication>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <linux/gpio.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <map>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::HasSubstr;
    using ::testing::StrEq;
    using ::testing::ThrowsMessage;

    // Stands in for the kernel: records the line request and the value calls, and hands out the
    // read end of a pipe as the request's descriptor, so that tests can write real line events into
    // it.
    class FakeGpio : public SystemCalls
    {
    public:
        static constexpr int kChip = 1000;

        FakeGpio()
        {
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
                readEnd = ends[0];
                writeEnd = ends[1];
            }
            if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
                deletionsRead = ends[0];
                deletionsWrite = ends[1];
            }
        }
        ~FakeGpio() override
        {
            for (int fd : { readEnd, writeEnd, deletionsRead, deletionsWrite })
                if (fd >= 0)
                    ::close(fd);
            for (const Chip &chip : others)
                for (int fd : { chip.readEnd, chip.writeEnd })
                    if (fd >= 0)
                        ::close(fd);
        }

        int statusOf(const std::string &path, struct stat &status) override
        {
            if (Chip *other = otherAt(path)) {
                status = gpioChip(other->number);
                return 0;
            }
            statusPath = path;
            status = pathStatus;
            return pathStatusResult;
        }
        int statusOf(int fd, struct stat &status) override
        {
            if (Chip *other = otherWith(fd)) {
                status = gpioChip(other->number);
                return 0;
            }
            EXPECT_EQ(fd, kChip);
            status = openedStatus;
            return 0;
        }
        std::string subsystemOf(dev_t) override { return subsystem; }
        int openPath(const std::string &path) override
        {
            ++opens;
            if (Chip *other = otherAt(path)) {
                ++chipsOpened;
                return other->fd;
            }
            if (openResult >= 0)
                ++chipsOpened;
            openedPath = path;
            return openResult;
        }
        std::vector<std::string> entriesOf(const std::string &directory) override
        {
            EXPECT_EQ(directory, "/dev");
            // In no order, beside nodes that are no chip.
            std::vector<std::string> entries { "null", "gpiochip", "ttyS0" };
            for (const Chip &other : others)
                entries.push_back("gpiochip" + std::to_string(other.number));
            if (listsChip0)
                entries.push_back("gpiochip0");
            return entries;
        }
        int watchDeletions(const std::string &directory) override
        {
            watchedFolder = directory;
            return deletionsResult < 0 ? deletionsResult : deletionsRead;
        }
        int control(int fd, unsigned long request, void *argument) override
        {
            if (Chip *other = otherWith(fd))
                return otherControl(*other, request, argument);
            if (Chip *other = otherRequest(fd))
                return valueControl(other, request, argument);
            if (request == GPIO_GET_CHIPINFO_IOCTL) {
                EXPECT_EQ(fd, kChip);
                auto *info = static_cast<gpiochip_info *>(argument);
                info->lines = chipLines;
                std::strncpy(info->name, "gpiochip0", sizeof info->name - 1);
                std::strncpy(info->label, label.c_str(), sizeof info->label - 1);
                return chipInfoResult;
            }
            if (request == GPIO_V2_GET_LINEINFO_IOCTL) {
                EXPECT_EQ(fd, kChip);
                describe(*static_cast<gpio_v2_line_info *>(argument), lineNames, consumers);
                return 0;
            }
            if (request == GPIO_V2_GET_LINE_IOCTL) {
                EXPECT_EQ(fd, kChip);
                auto *lines = static_cast<gpio_v2_line_request *>(argument);
                requested = *lines;
                if (requestResult < 0)
                    return requestResult;
                lines->fd = readEnd;
                return 0;
            }
            EXPECT_EQ(fd, readEnd);
            return valueControl(nullptr, request, argument);
        }

        // A further chip, /dev/gpiochipN, with lines of its own and a request of its own.
        struct Chip
        {
            int number = 1;
            std::string label;
            std::map<std::uint32_t, std::string> lineNames;
            std::uint32_t lines = 8;
            int requestResult = 0;
            int valuesResult = 0;
            std::uint64_t lineValues = 0;
            int fd = -1;
            int readEnd = -1, writeEnd = -1;
            std::optional<gpio_v2_line_request> requested;
            std::vector<std::pair<std::uint64_t, std::uint64_t>> sets;
        };
        Chip &addChip(int number, std::string chipLabel, std::map<std::uint32_t, std::string> names)
        {
            Chip &chip = others.emplace_back();
            chip.number = number;
            chip.label = std::move(chipLabel);
            chip.lineNames = std::move(names);
            chip.fd = kChip + number;
            int ends[2];
            if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
                chip.readEnd = ends[0];
                chip.writeEnd = ends[1];
            }
            return chip;
        }
        static void edge(const Chip &chip, std::uint32_t offset, bool rising)
        {
            gpio_v2_line_event event {};
            event.offset = offset;
            event.id = rising ? GPIO_V2_LINE_EVENT_RISING_EDGE : GPIO_V2_LINE_EVENT_FALLING_EDGE;
            ASSERT_EQ(::write(chip.writeEnd, &event, sizeof event),
                    static_cast<ssize_t>(sizeof event));
        }
        static void describe(gpio_v2_line_info &line,
                const std::map<std::uint32_t, std::string> &names,
                const std::map<std::uint32_t, std::string> &users)
        {
            if (const auto named = names.find(line.offset); named != names.end())
                std::strncpy(line.name, named->second.c_str(), sizeof line.name - 1);
            if (const auto used = users.find(line.offset); used != users.end()) {
                line.flags |= GPIO_V2_LINE_FLAG_USED;
                std::strncpy(line.consumer, used->second.c_str(), sizeof line.consumer - 1);
            }
        }
        int otherControl(Chip &chip, unsigned long request, void *argument)
        {
            if (request == GPIO_GET_CHIPINFO_IOCTL) {
                auto *info = static_cast<gpiochip_info *>(argument);
                info->lines = chip.lines;
                std::strncpy(info->name, ("gpiochip" + std::to_string(chip.number)).c_str(),
                        sizeof info->name - 1);
                std::strncpy(info->label, chip.label.c_str(), sizeof info->label - 1);
                return 0;
            }
            if (request == GPIO_V2_GET_LINEINFO_IOCTL) {
                describe(*static_cast<gpio_v2_line_info *>(argument), chip.lineNames, {});
                return 0;
            }
            EXPECT_EQ(request, GPIO_V2_GET_LINE_IOCTL);
            auto *lines = static_cast<gpio_v2_line_request *>(argument);
            chip.requested = *lines;
            if (chip.requestResult < 0)
                return chip.requestResult;
            lines->fd = chip.readEnd;
            return 0;
        }
        // The values calls on a request: chip 0's (the fields of this fake, `chip` null) or a
        // further chip's.
        int valueControl(Chip *chip, unsigned long request, void *argument)
        {
            auto *values = static_cast<gpio_v2_line_values *>(argument);
            if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
                (chip ? chip->sets : sets).push_back({ values->bits, values->mask });
                return chip ? chip->valuesResult : valuesResult;
            }
            if (request == GPIO_V2_LINE_GET_VALUES_IOCTL) {
                values->bits = (chip ? chip->lineValues : lineValues) & values->mask;
                return chip ? chip->valuesResult : valuesResult;
            }
            ADD_FAILURE() << "unexpected ioctl " << request;
            return -EINVAL;
        }
        Chip *otherAt(const std::string &path)
        {
            for (Chip &chip : others)
                if (path == "/dev/gpiochip" + std::to_string(chip.number))
                    return &chip;
            return nullptr;
        }
        Chip *otherWith(int fd)
        {
            for (Chip &chip : others)
                if (fd == chip.fd)
                    return &chip;
            return nullptr;
        }
        Chip *otherRequest(int fd)
        {
            for (Chip &chip : others)
                if (fd == chip.readEnd)
                    return &chip;
            return nullptr;
        }

        // The GPIO board makes no timer and waits on nothing.
        int makeTimer() override { return -ENOSYS; }
        int armTimer(int, const itimerspec &) override { return -ENOSYS; }
        int waitReadable(int) override { return -ENOSYS; }
        ssize_t readFrom(int fd, void *buffer, std::size_t size) override
        {
            ++reads;
            const ssize_t bytes = ::read(fd, buffer, size);
            return bytes >= 0 ? bytes : -errno;
        }
        void closeDescriptor(int fd) override
        {
            closed.push_back(fd);
            if (Chip *other = otherRequest(fd)) {
                ::close(other->readEnd);
                other->readEnd = -1;
            }
            if (fd == readEnd) {
                ::close(readEnd);
                readEnd = -1;
            }
            if (fd == deletionsRead) {
                ::close(deletionsRead);
                deletionsRead = -1;
            }
        }

        void edge(std::uint32_t offset, bool rising)
        {
            gpio_v2_line_event event {};
            event.offset = offset;
            event.id = rising ? GPIO_V2_LINE_EVENT_RISING_EDGE : GPIO_V2_LINE_EVENT_FALLING_EDGE;
            ASSERT_EQ(::write(writeEnd, &event, sizeof event), static_cast<ssize_t>(sizeof event));
        }
        // A node of the chip's folder deleted, as devtmpfs deletes the chip's own when it goes.
        void deleteNode() { ASSERT_EQ(::write(deletionsWrite, "x", 1), 1); }
        void hangUp()
        {
            ::close(writeEnd);
            writeEnd = -1;
        }

        static struct stat gpioChip(int number = 0)
        {
            struct stat status = {};
            status.st_mode = S_IFCHR | 0660;
            status.st_rdev = makedev(254, static_cast<unsigned>(number));
            return status;
        }

        struct stat pathStatus = gpioChip();
        int pathStatusResult = 0;
        struct stat openedStatus = gpioChip();
        std::string subsystem = "gpio";
        std::string statusPath;
        std::map<std::uint32_t, std::string> lineNames;
        std::map<std::uint32_t, std::string> consumers; // lines another program holds
        std::string label = "pinctrl-bcm2711";
        bool listsChip0 = true; // /dev lists gpiochip0
        std::deque<Chip> others; // /dev/gpiochip1 and on
        int openResult = kChip;
        int opens = 0;
        int chipsOpened = 0;
        int chipInfoResult = 0;
        int requestResult = 0;
        int valuesResult = 0;
        std::uint32_t chipLines = 54;
        std::uint64_t lineValues = 0;
        std::string openedPath;
        std::optional<gpio_v2_line_request> requested;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> sets;
        std::vector<int> closed;
        int reads = 0;
        int readEnd = -1;
        int writeEnd = -1;
        std::string watchedFolder;
        int deletionsResult = 0;
        int deletionsRead = -1;
        int deletionsWrite = -1;
    };

    // Runs the event loop until `done` or a bounded number of rounds; it never sleeps.
    template <class Done> void spinUntil(Done done)
    {
        for (int round = 0; round < 100 && !done(); ++round)
            QCoreApplication::processEvents();
    }

    GpioSetting wiring(Bias bias = Bias::AsIs, bool activeLow = false, std::uint32_t debounceMs = 0)
    {
        return { "/dev/gpiochip0", { 17, 27 }, { 22, 23 }, bias, activeLow, debounceMs };
    }

    GpioSetting lampsOnLow(GpioSetting setting)
    {
        setting.outActiveLow = true;
        return setting;
    }

    // No chip: each line by its name, wherever it is.
    GpioSetting byNames(std::array<std::string, 4> names)
    {
        GpioSetting setting = wiring();
        setting.chip.clear();
        setting.names = std::move(names);
        return setting;
    }

    TEST(GpioBoardTest, RequestsAllFourLinesOutputsDarkInputsWithTheChosenOptions)
    {
        struct Row
        {
            const char *name;
            GpioSetting setting;
            std::uint64_t inputFlags;
            std::uint32_t debounceUs;
            std::uint64_t outputFlags = GPIO_V2_LINE_FLAG_OUTPUT;
        };
        const std::uint64_t edges = GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_EDGE_RISING
                | GPIO_V2_LINE_FLAG_EDGE_FALLING;
        const Row table[] = {
            { "as wired", wiring(), edges, 0 },
            { "pull-up, active-low, 10 ms", wiring(Bias::PullUp, true, 10),
                    edges | GPIO_V2_LINE_FLAG_BIAS_PULL_UP | GPIO_V2_LINE_FLAG_ACTIVE_LOW, 10'000 },
            { "pull-down", wiring(Bias::PullDown), edges | GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN, 0 },
            { "bias disabled, 1 s", wiring(Bias::Disabled, false, 1000),
                    edges | GPIO_V2_LINE_FLAG_BIAS_DISABLED, 1'000'000 },
            // A relay module that switches on low: the kernel inverts the outputs alone, so the
            // dark 0 they are requested with drives them high.
            { "out-active-low", lampsOnLow(wiring()), edges, 0,
                    GPIO_V2_LINE_FLAG_OUTPUT | GPIO_V2_LINE_FLAG_ACTIVE_LOW },
            { "out-active-low and active-low inputs", lampsOnLow(wiring(Bias::PullUp, true)),
                    edges | GPIO_V2_LINE_FLAG_BIAS_PULL_UP | GPIO_V2_LINE_FLAG_ACTIVE_LOW, 0,
                    GPIO_V2_LINE_FLAG_OUTPUT | GPIO_V2_LINE_FLAG_ACTIVE_LOW },
        };
        for (const Row &row : table) {
            SCOPED_TRACE(row.name);
            FakeGpio kernel;
            GpioBoard board(row.setting, kernel);
            board.OpenBoard(0, 0);
            EXPECT_EQ(board.BoardPresent(), kTrue);
            EXPECT_EQ(kernel.openedPath, "/dev/gpiochip0");
            ASSERT_TRUE(kernel.requested.has_value());
            const gpio_v2_line_request &request = *kernel.requested;
            EXPECT_EQ(request.num_lines, 4u);
            EXPECT_THAT(std::vector<std::uint32_t>(request.offsets, request.offsets + 4),
                    ElementsAre(17, 27, 22, 23));
            EXPECT_STREQ(request.consumer, "meridan");
            EXPECT_EQ(request.config.flags, row.outputFlags);
            ASSERT_EQ(request.config.num_attrs, row.debounceUs > 0 ? 3u : 2u);
            const auto &flags = request.config.attrs[0];
            EXPECT_EQ(flags.attr.id, GPIO_V2_LINE_ATTR_ID_FLAGS);
            EXPECT_EQ(flags.attr.flags, row.inputFlags);
            EXPECT_EQ(flags.mask, 0b1100u);
            const auto &values = request.config.attrs[1];
            EXPECT_EQ(values.attr.id, GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES);
            EXPECT_EQ(values.attr.values, 0u); // both lamps dark
            EXPECT_EQ(values.mask, 0b0011u);
            if (row.debounceUs > 0) {
                EXPECT_EQ(request.config.attrs[2].attr.id, GPIO_V2_LINE_ATTR_ID_DEBOUNCE);
                EXPECT_EQ(request.config.attrs[2].attr.debounce_period_us, row.debounceUs);
                EXPECT_EQ(request.config.attrs[2].mask, 0b1100u);
            }
            EXPECT_THAT(kernel.closed, ElementsAre(FakeGpio::kChip)); // the chip is let go
        }
    }

    TEST(GpioBoardTest, OpeningSaysWhyItCannotAndAMissingChipIsABoardNotPresent)
    {
        // The chip's group as the system names it, whatever that is here (Debian: dialout).
        static const gid_t ourGroup = 20;
        const ::group *entry = ::getgrgid(ourGroup);
        const std::string group = entry != nullptr ? entry->gr_name : std::to_string(ourGroup);
        static std::string groupAdvice;
        groupAdvice = "permission denied opening /dev/gpiochip0; it belongs to the group " + group
                + ": add your user to it (sudo usermod -aG " + group + " $USER), then log in again";
        {
            FakeGpio kernel;
            kernel.openResult = -ENOENT;
            GpioBoard board(wiring(), kernel);
            board.OpenBoard(0, 0);
            EXPECT_EQ(board.BoardPresent(), kFalse);
            EXPECT_FALSE(kernel.requested.has_value());
        }
        struct Row
        {
            const char *name;
            std::function<void(FakeGpio &, GpioSetting &)> arrange;
            bool opened; // whether the path may be opened at all
            const char *says;
        };
        const auto named = [](std::array<std::string, 4> names) {
            return [names](FakeGpio &kernel, GpioSetting &setting) {
                kernel.lineNames = { { 17, "GPIO17" }, { 27, "GPIO27" }, { 5, "DUP" },
                    { 6, "DUP" } };
                setting.names = names;
            };
        };
        const Row table[] = {
            { "no permission, a chip only root may open",
                    [](FakeGpio &k, GpioSetting &) { k.openResult = -EACCES; }, true,
                    "permission denied opening /dev/gpiochip0; only root may open it: give it a "
                    "group of its own with a udev rule" },
            { "no permission, a chip of the group the system calls gpio",
                    [](FakeGpio &k, GpioSetting &) {
                        k.openResult = -EACCES;
                        k.pathStatus.st_gid = ourGroup;
                    },
                    true, groupAdvice.c_str() },
            { "a regular file", [](FakeGpio &k, GpioSetting &) { k.pathStatus.st_mode = S_IFREG; },
                    false, "/dev/gpiochip0 is not a GPIO chip but a regular file" },
            { "a directory", [](FakeGpio &k, GpioSetting &) { k.pathStatus.st_mode = S_IFDIR; },
                    false, "/dev/gpiochip0 is not a GPIO chip but a directory" },
            { "a terminal", [](FakeGpio &k, GpioSetting &) { k.subsystem = "tty"; }, false,
                    "is not a GPIO chip but a device of the kernel's \"tty\" subsystem" },
            { "a watchdog, which opening would start",
                    [](FakeGpio &k, GpioSetting &) { k.subsystem = "misc"; }, false,
                    "is not a GPIO chip but a device of the kernel's \"misc\" subsystem" },
            { "a device sysfs does not know (no /sys in a container)",
                    [](FakeGpio &k, GpioSetting &) { k.subsystem = ""; }, false,
                    "cannot confirm that /dev/gpiochip0 is a GPIO chip: sysfs has no entry for "
                    "its device 254:0" },
            { "a device that is no chip",
                    [](FakeGpio &k, GpioSetting &) { k.chipInfoResult = -ENOTTY; }, true,
                    "/dev/gpiochip0 is not a GPIO chip: Inappropriate ioctl for device" },
            { "swapped while opened",
                    [](FakeGpio &k, GpioSetting &) { k.openedStatus.st_rdev = makedev(4, 64); },
                    true, "/dev/gpiochip0 changed while it was being opened" },
            { "lines busy, no holder named",
                    [](FakeGpio &k, GpioSetting &) { k.requestResult = -EBUSY; }, true,
                    "lines 17, 27, 22 and 23 of /dev/gpiochip0 are busy: another program holds one "
                    "of them (gpioinfo shows which)" },
            { "lines busy, each holder named",
                    [](FakeGpio &k, GpioSetting &) {
                        k.requestResult = -EBUSY;
                        k.lineNames = { { 17, "GPIO17" } };
                        k.consumers = { { 17, "gpioset" }, { 23, "" } };
                    },
                    true,
                    "lines 17, 27, 22 and 23 of /dev/gpiochip0 are busy: line 17 \"GPIO17\" of "
                    "gpiochip0 is used by \"gpioset\" and line 23 of gpiochip0 is used by a "
                    "program that gave no name; end that program" },
            { "line beyond the chip", [](FakeGpio &k, GpioSetting &) { k.chipLines = 27; }, true,
                    "line 27 is not on /dev/gpiochip0, which has 27 lines" },
            { "request refused", [](FakeGpio &k, GpioSetting &) { k.requestResult = -EINVAL; },
                    true, "cannot request lines 17, 27, 22 and 23" },
            { "one line by offset and by name", named({ "", "GPIO17", "", "" }), true,
                    "line 17 of /dev/gpiochip0 is given for both out0 and out1" },
            { "a name the chip does not have", named({ "", "", "", "GPIO99" }), true,
                    "no line of /dev/gpiochip0 is named \"GPIO99\" (for in1)" },
            { "a name on two lines", named({ "DUP", "", "", "" }), true,
                    "\"DUP\" names 2 lines of /dev/gpiochip0 (5 and 6); give the offset of the "
                    "one for out0" },
        };
        for (const Row &row : table) {
            SCOPED_TRACE(row.name);
            FakeGpio kernel;
            GpioSetting setting = wiring();
            row.arrange(kernel, setting);
            GpioBoard board(setting, kernel);
            EXPECT_THAT([&] { board.OpenBoard(0, 0); },
                    ThrowsMessage<RunTimeError>(
                            AllOf(HasSubstr("OpenBoard(0, 0) failed: "), HasSubstr(row.says))));
            EXPECT_EQ(board.BoardPresent(), kFalse);
            EXPECT_EQ(kernel.opens, row.opened ? 1 : 0);
            EXPECT_EQ(kernel.closed.size(), static_cast<std::size_t>(kernel.chipsOpened))
                    << "an opened chip was left open";
        }
    }

    TEST(GpioBoardTest, LinesGivenByNameAreRequestedAtTheOffsetsTheChipNamesThem)
    {
        FakeGpio kernel;
        kernel.lineNames = { { 17, "GPIO17" }, { 27, "GPIO27" }, { 22, "GPIO22" },
            { 3, "SW_RIGHT" } };
        GpioSetting setting = wiring();
        setting.outputs = { 0, 0 };
        setting.inputs[0] = 0;
        setting.names = { "GPIO17", "GPIO27", "GPIO22", "" }; // in1 stays at offset 23
        setting.inputs[1] = 23;
        GpioBoard board(setting, kernel);
        board.OpenBoard(0, 0);
        ASSERT_TRUE(kernel.requested.has_value());
        EXPECT_THAT(std::vector<std::uint32_t>(
                            kernel.requested->offsets, kernel.requested->offsets + 4),
                ElementsAre(17, 27, 22, 23));
        EXPECT_EQ(board.BoardPresent(), kTrue);
        kernel.edge(22, true); // events name the resolved offset
        std::vector<std::int16_t> received;
        board.setInputChangeHandler(
                [&](std::int16_t index, Boolean) { received.push_back(index); });
        spinUntil([&] { return !received.empty(); });
        EXPECT_THAT(received, ElementsAre(0));
    }

    // A relay HAT on an I2C expander with the switches on the SoC's lines: no chip given, each
    // name found where it is, one request for each chip, and each line driven and read there.
    TEST(GpioBoardTest, LinesByNameOnTwoChipsAreRequestedOnEachAndDrivenAndReadThere)
    {
        FakeGpio kernel;
        kernel.lineNames = { { 22, "GPIO22" }, { 23, "GPIO23" } };
        FakeGpio::Chip &expander =
                kernel.addChip(2, "gpio-pcf857x", { { 0, "RELAY1" }, { 1, "RELAY2" } });
        kernel.addChip(10, "pinctrl-rp1", { { 4, "UNUSED" } }); // listed before gpiochip2
        GpioBoard board(lampsOnLow(byNames({ "RELAY1", "RELAY2", "GPIO22", "GPIO23" })), kernel);
        std::vector<std::pair<std::int16_t, Boolean>> received;
        board.setInputChangeHandler(
                [&](std::int16_t index, Boolean state) { received.emplace_back(index, state); });
        board.OpenBoard(0, 0);
        ASSERT_EQ(board.BoardPresent(), kTrue);

        ASSERT_TRUE(expander.requested.has_value());
        const gpio_v2_line_request &lamps = *expander.requested;
        EXPECT_THAT(std::vector<std::uint32_t>(lamps.offsets, lamps.offsets + lamps.num_lines),
                ElementsAre(0, 1));
        EXPECT_EQ(lamps.config.flags, GPIO_V2_LINE_FLAG_OUTPUT | GPIO_V2_LINE_FLAG_ACTIVE_LOW);
        ASSERT_EQ(lamps.config.num_attrs, 1u);
        EXPECT_EQ(lamps.config.attrs[0].attr.id, GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES);
        EXPECT_EQ(lamps.config.attrs[0].attr.values, 0u);
        EXPECT_EQ(lamps.config.attrs[0].mask, 0b11u);

        ASSERT_TRUE(kernel.requested.has_value());
        const gpio_v2_line_request &switches = *kernel.requested;
        EXPECT_THAT(
                std::vector<std::uint32_t>(switches.offsets, switches.offsets + switches.num_lines),
                ElementsAre(22, 23));
        EXPECT_EQ(switches.config.flags,
                GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_EDGE_RISING
                        | GPIO_V2_LINE_FLAG_EDGE_FALLING);
        EXPECT_EQ(switches.config.num_attrs, 0u);
        EXPECT_FALSE(kernel.others[1].requested.has_value()) << "a chip with none of the lines";

        board.SetOutputLevel(1, 100);
        board.SetOutputLevel(0, 0);
        EXPECT_THAT(expander.sets,
                ElementsAre(std::pair<std::uint64_t, std::uint64_t> { 0b10, 0b10 },
                        std::pair<std::uint64_t, std::uint64_t> { 0b00, 0b01 }));
        EXPECT_TRUE(kernel.sets.empty());
        kernel.lineValues = 0b10; // the request's second line: input 1
        EXPECT_EQ(board.ReadInput(0), kFalse);
        EXPECT_EQ(board.ReadInput(1), kTrue);
        kernel.edge(23, true);
        spinUntil([&] { return !received.empty(); });
        EXPECT_THAT(received, ElementsAre(std::pair<std::int16_t, Boolean> { 1, kTrue }));

        // The expander going is the board's loss, named by its chip.
        expander.valuesResult = -ENODEV;
        kernel.deleteNode();
        spinUntil([&] { return received.size() == 2; });
        EXPECT_THAT([&] { board.ReadInput(0); },
                ThrowsMessage<RunTimeError>(
                        HasSubstr("the GPIO board /dev/gpiochip2 has gone: the chip was removed")));
    }

    TEST(GpioBoardTest, LinesByNameOrAChipByLabelAreFoundOrRefusedSayingWhere)
    {
        struct Row
        {
            const char *name;
            GpioSetting setting;
            std::function<void(FakeGpio &)> arrange;
            const char *says; // empty: the board is not plugged in
        };
        const auto byLabel = [](std::string label) {
            GpioSetting setting = wiring();
            setting.chip.clear();
            setting.label = std::move(label);
            return setting;
        };
        const auto names = byNames({ "GPIO17", "GPIO27", "GPIO22", "GPIO23" });
        const auto raspberryPi = [](FakeGpio &k) {
            k.lineNames = { { 17, "GPIO17" }, { 27, "GPIO27" }, { 22, "GPIO22" },
                { 23, "GPIO23" } };
        };
        const Row table[] = {
            { "a name on two chips", names,
                    [&](FakeGpio &k) {
                        raspberryPi(k);
                        k.addChip(3, "gpio-sim", { { 5, "GPIO27" } });
                    },
                    "\"GPIO27\" (for out1) names 2 lines: line 27 of /dev/gpiochip0 and line 5 of "
                    "/dev/gpiochip3; give the chip first" },
            { "a name twice on one chip", names,
                    [&](FakeGpio &k) {
                        raspberryPi(k);
                        k.lineNames[4] = "GPIO22";
                    },
                    "\"GPIO22\" (for in0) names 2 lines: line 4 of /dev/gpiochip0 and line 22 of "
                    "/dev/gpiochip0" },
            { "some names found, some not", byNames({ "GPIO17", "GPIO27", "SW1", "SW2" }),
                    raspberryPi,
                    "no GPIO chip has a line named \"SW1\" (for in0) and \"SW2\" (for in1), "
                    "though the other lines were found" },
            { "no name found anywhere: an adapter unplugged", byNames({ "R1", "R2", "S1", "S2" }),
                    raspberryPi, "" },
            { "no chip at all", names, [](FakeGpio &k) { k.listsChip0 = false; }, "" },
            { "names not on the chips that could be opened, and a chip that could not",
                    byNames({ "GPIO17", "GPIO27", "SW1", "SW2" }),
                    [](FakeGpio &k) {
                        k.openResult = -EACCES;
                        k.addChip(1, "gpio-pcf857x", { { 0, "GPIO17" }, { 1, "GPIO27" } });
                    },
                    "no GPIO chip this user may open has a line named \"SW1\" (for in0) and "
                    "\"SW2\" (for in1), and /dev/gpiochip0 (permission denied; only root may "
                    "open it" },
            { "a label on no chip that could be opened, and a chip that could not",
                    byLabel("pinctrl-rp1"), [](FakeGpio &k) { k.openResult = -EPERM; },
                    "no GPIO chip this user may open is labelled \"pinctrl-rp1\", and "
                    "/dev/gpiochip0 (permission denied" },
            { "a label no chip has", byLabel("gpio-pcf857x"), [](FakeGpio &) {}, "" },
            { "a label on two chips", byLabel("gpio-sim"),
                    [](FakeGpio &k) {
                        k.label = "gpio-sim";
                        k.addChip(1, "gpio-sim", {});
                    },
                    "the label \"gpio-sim\" is on 2 chips (/dev/gpiochip0 and /dev/gpiochip1); "
                    "give the chip's name or path instead" },
        };
        for (const Row &row : table) {
            SCOPED_TRACE(row.name);
            FakeGpio kernel;
            row.arrange(kernel);
            GpioBoard board(row.setting, kernel);
            if (*row.says == '\0') {
                board.OpenBoard(0, 0);
            } else {
                EXPECT_THAT([&] { board.OpenBoard(0, 0); },
                        ThrowsMessage<RunTimeError>(HasSubstr(row.says)));
            }
            EXPECT_EQ(board.BoardPresent(), kFalse);
            EXPECT_FALSE(kernel.requested.has_value());
            EXPECT_EQ(kernel.closed.size(), static_cast<std::size_t>(kernel.chipsOpened))
                    << "an opened chip was left open";
        }

        // The label found: the chip that has it, whatever its number.
        FakeGpio kernel;
        kernel.addChip(4, "gpio-pcf857x", {});
        kernel.label = "pinctrl-rp1";
        GpioBoard board(byLabel("pinctrl-rp1"), kernel);
        board.OpenBoard(0, 0);
        EXPECT_EQ(board.BoardPresent(), kTrue);
        ASSERT_TRUE(kernel.requested.has_value());
        EXPECT_EQ(kernel.requested->num_lines, 4u);
    }

    // The lines of every chip are had, or none: the second chip refusing its lines lets go of
    // the first chip's, and nothing was written to them.
    TEST(GpioBoardTest, AChipRefusingItsLinesLetsGoOfTheLinesAlreadyRequested)
    {
        FakeGpio kernel;
        kernel.lineNames = { { 17, "GPIO17" }, { 27, "GPIO27" } };
        FakeGpio::Chip &expander =
                kernel.addChip(1, "gpio-pcf857x", { { 0, "SW1" }, { 1, "SW2" } });
        expander.requestResult = -EBUSY;
        GpioBoard board(byNames({ "GPIO17", "GPIO27", "SW1", "SW2" }), kernel);
        const int firstRequest = kernel.readEnd;
        EXPECT_THAT([&] { board.OpenBoard(0, 0); },
                ThrowsMessage<RunTimeError>(HasSubstr("lines 0 and 1 of /dev/gpiochip1 are busy")));
        EXPECT_EQ(board.BoardPresent(), kFalse);
        ASSERT_TRUE(kernel.requested.has_value());
        EXPECT_THAT(kernel.closed, ::testing::Contains(firstRequest))
                << "the first chip's request is still held";
        EXPECT_TRUE(kernel.sets.empty());
    }

    TEST(GpioBoardTest, LevelsDriveTheOutputLinesAndInputsReadTheirLines)
    {
        FakeGpio kernel;
        GpioBoard board(wiring(), kernel);
        board.OpenBoard(0, 0);
        board.PresetChannel(0, 100); // checks, changes nothing
        board.PresetChannel(1, 100);
        EXPECT_TRUE(kernel.sets.empty());
        board.SetOutputLevel(1, 100);
        board.SetOutputLevel(0, 100);
        board.SetOutputLevel(1, 0);
        EXPECT_THAT(kernel.sets,
                ElementsAre(std::pair<std::uint64_t, std::uint64_t> { 0b10, 0b10 },
                        std::pair<std::uint64_t, std::uint64_t> { 0b01, 0b01 },
                        std::pair<std::uint64_t, std::uint64_t> { 0b00, 0b10 }));
        kernel.lineValues = 0b1000; // input 1 active
        EXPECT_EQ(board.ReadInput(0), kFalse);
        EXPECT_EQ(board.ReadInput(1), kTrue);
        EXPECT_THAT([&] { board.ReadInput(2); },
                ThrowsMessage<RunTimeError>(HasSubstr("no input 2 on the GPIO board (0 to 1)")));
        EXPECT_THAT([&] { board.SetOutputLevel(2, 0); },
                ThrowsMessage<RunTimeError>(HasSubstr("no output 2 on the GPIO board")));
    }

    TEST(GpioBoardTest, EdgesOnEachInputArriveThroughTheEventLoopWithTheirIndex)
    {
        FakeGpio kernel;
        GpioBoard board(wiring(), kernel);
        std::vector<std::pair<std::int16_t, Boolean>> received;
        board.setInputChangeHandler(
                [&](std::int16_t index, Boolean state) { received.emplace_back(index, state); });
        board.OpenBoard(0, 0);
        kernel.edge(22, true);
        kernel.edge(23, true);
        kernel.edge(22, false);
        kernel.edge(23, false);
        EXPECT_TRUE(received.empty()); // not from inside anything: the loop delivers them
        spinUntil([&] { return received.size() == 4; });
        EXPECT_THAT(received,
                ElementsAre(std::pair<std::int16_t, Boolean> { 0, kTrue },
                        std::pair<std::int16_t, Boolean> { 1, kTrue },
                        std::pair<std::int16_t, Boolean> { 0, kFalse },
                        std::pair<std::int16_t, Boolean> { 1, kFalse }));
    }

    // The panel on a GPIO board behind the fake kernel, built as the program builds it.
    struct GpioPanel
    {
        GpioPanel()
        {
            ::setenv("MERIDAN_BOARD", "gpio:gpiochip0,out0=17,out1=27,in0=22,in1=23", 1);
            form.dispatch(&Form1::Form_Load);
            ::unsetenv("MERIDAN_BOARD");
        }
        FakeGpio kernel;
        VirtualClock clock;
        FakeDesktop desktop;
        FakeBox left, right;
        FakeButton leftButton, rightButton, hazardButton;
        FakeScrollBar rate;
        Form1 form { { left, right, leftButton, rightButton, hazardButton, rate }, desktop, clock,
            clock, [this] {
                auto library = std::make_unique<BoardLibrary>(clock, nullptr);
                library->setSystemCalls(kernel);
                return library;
            } };
    };

    // The chip going while the panel is idle: the board raises an input change at once, the
    // switch handler's read reports it, naming the chip and the cause, and the darkening after the
    // report says it could not reach the chip. The hung-up request is read no more.
    TEST(GpioBoardTest, AChipRemovedWhileIdleIsReportedAtOnceAndNeverReadAgain)
    {
        GpioPanel panel;
        ASSERT_FALSE(panel.desktop.status.has_value())
                << (panel.desktop.errors.empty() ? "" : panel.desktop.errors[0]);
        panel.kernel.hangUp();
        spinUntil([&] { return panel.desktop.status.has_value(); });
        const char *gone = "the GPIO board /dev/gpiochip0 has gone: the chip was removed";
        EXPECT_THAT(panel.desktop.errors, ElementsAre(std::string("ReadInput(0) failed: ") + gone));
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
        EXPECT_THAT(panel.desktop.warnings,
                ElementsAre(std::string("while darkening the lamps: SetOutputLevel(1, 0) failed: ")
                                + gone,
                        std::string("while darkening the lamps: SetOutputLevel(0, 0) failed: ")
                                + gone));
        EXPECT_TRUE(panel.kernel.sets.empty());
        // A hung-up descriptor stays readable: reading it on and on would spin the event loop.
        const int readsAtHangUp = panel.kernel.reads;
        spinUntil([] { return false; });
        EXPECT_EQ(panel.kernel.reads, readsAtHangUp) << "the hung-up request is still being read";
        EXPECT_EQ(panel.desktop.errors.size(), 1u);
    }

    // Linux 6.1 gives the request no hang-up when its chip goes, but deletes the chip's node: the
    // board then asks the request, and only a chip that has gone is reported.
    TEST(GpioBoardTest, AChipNodeDeletedWhileIdleIsReportedOnlyWhenTheChipHasGone)
    {
        GpioPanel panel;
        ASSERT_FALSE(panel.desktop.status.has_value());
        EXPECT_EQ(panel.kernel.watchedFolder, "/dev");
        panel.kernel.deleteNode(); // another node: the chip answers
        spinUntil([] { return false; });
        EXPECT_FALSE(panel.desktop.status.has_value());
        panel.kernel.valuesResult = -ENODEV;
        panel.kernel.deleteNode();
        spinUntil([&] { return panel.desktop.status.has_value(); });
        EXPECT_THAT(panel.desktop.errors,
                ElementsAre("ReadInput(0) failed: the GPIO board /dev/gpiochip0 has gone: the chip "
                            "was removed"));
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
    }

    TEST(GpioBoardTest, ENoDevFromALineCallMeansTheBoardHasGone)
    {
        FakeGpio kernel;
        GpioBoard board(wiring(), kernel);
        board.OpenBoard(0, 0);
        kernel.valuesResult = -ENODEV;
        EXPECT_THAT([&] { board.ReadInput(0); },
                ThrowsMessage<RunTimeError>(
                        StrEq("ReadInput(0) failed: the GPIO board "
                              "/dev/gpiochip0 has gone: the chip was removed")));
        std::vector<Boolean> received;
        board.setInputChangeHandler(
                [&](std::int16_t, Boolean state) { received.push_back(state); });
        kernel.edge(22, true); // the request is no longer watched: nothing reads or delivers this
        spinUntil([] { return false; });
        EXPECT_EQ(kernel.reads, 0);
        EXPECT_TRUE(received.empty());
        EXPECT_THAT([&] { board.PresetChannel(0, 100); },
                ThrowsMessage<RunTimeError>(HasSubstr("has gone: the chip was removed")));
    }

    TEST(GpioBoardTest, TheLeftSwitchOnTheGpioBoardStartsTheLeftLampThroughThePanel)
    {
        GpioPanel panel;
        FakeGpio &kernel = panel.kernel;
        ASSERT_FALSE(panel.desktop.status.has_value())
                << (panel.desktop.errors.empty() ? "" : panel.desktop.errors[0]);

        kernel.lineValues = 0b0100; // input 0, the left switch, on
        kernel.edge(22, true);
        spinUntil([&] { return panel.form.timer(1).enabled(); });
        EXPECT_TRUE(panel.form.timer(1).enabled());
        EXPECT_FALSE(panel.rightButton.enabled);
        panel.clock.advance(std::chrono::milliseconds(200));
        EXPECT_THAT(
                kernel.sets, ElementsAre(std::pair<std::uint64_t, std::uint64_t> { 0b10, 0b10 }));

        panel.form.dispatch(&Form1::Command5_Click); // END: output 1, then output 0, dark
        EXPECT_THAT(kernel.sets,
                ElementsAre(std::pair<std::uint64_t, std::uint64_t> { 0b10, 0b10 },
                        std::pair<std::uint64_t, std::uint64_t> { 0b00, 0b10 },
                        std::pair<std::uint64_t, std::uint64_t> { 0b00, 0b01 }));
    }

} // namespace
} // namespace meridan::testing
