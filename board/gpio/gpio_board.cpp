#include "gpio_board.h"

#include "board_context.h"
#include "board_setting.h"

#include <linux/gpio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace meridan {

namespace {

    constexpr std::size_t kOutputBit = 0; // output 0 is line 0 of the request, output 1 line 1
    constexpr std::size_t kInputBit = 2; // input 0 is line 2, input 1 line 3
    constexpr const char *kKeys[] = { "out0", "out1", "in0", "in1" };

    constexpr std::uint64_t kOutputMask = 0b0011;
    constexpr std::uint64_t kInputMask = 0b1100;
    constexpr std::size_t kEventsPerRead = 16;

    // The four lines in request order: output 0, output 1, input 0, input 1; where each offset
    // is kept, and its value.
    std::array<std::uint32_t *, 4> offsetSlots(GpioSetting &setting)
    {
        return { &setting.outputs[0], &setting.outputs[1], &setting.inputs[0], &setting.inputs[1] };
    }
    std::array<std::uint32_t, 4> offsetsOf(const GpioSetting &setting)
    {
        return { setting.outputs[0], setting.outputs[1], setting.inputs[0], setting.inputs[1] };
    }

    std::string reason(int negativeErrno)
    {
        return std::strerror(-negativeErrno);
    }

    std::string linesOf(const GpioSetting &setting)
    {
        const auto lines = offsetsOf(setting);
        return std::to_string(lines[0]) + ", " + std::to_string(lines[1]) + ", "
                + std::to_string(lines[2]) + " and " + std::to_string(lines[3]);
    }

    std::uint64_t inputFlags(const GpioSetting &setting)
    {
        std::uint64_t flags = GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_EDGE_RISING
                | GPIO_V2_LINE_FLAG_EDGE_FALLING;
        switch (setting.bias) {
        case Bias::AsIs:
            break;
        case Bias::PullUp:
            flags |= GPIO_V2_LINE_FLAG_BIAS_PULL_UP;
            break;
        case Bias::PullDown:
            flags |= GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN;
            break;
        case Bias::Disabled:
            flags |= GPIO_V2_LINE_FLAG_BIAS_DISABLED;
            break;
        }
        if (setting.activeLow)
            flags |= GPIO_V2_LINE_FLAG_ACTIVE_LOW;
        return flags;
    }

    gpio_v2_line_request lineRequest(const GpioSetting &setting)
    {
        gpio_v2_line_request request {};
        const auto lines = offsetsOf(setting);
        std::copy(lines.begin(), lines.end(), request.offsets);
        request.num_lines = static_cast<std::uint32_t>(lines.size());
        std::strncpy(request.consumer, GpioBoard::kConsumer, sizeof request.consumer - 1);
        gpio_v2_line_config &config = request.config;
        config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
        std::uint32_t n = 0;
        config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
        config.attrs[n].attr.flags = inputFlags(setting);
        config.attrs[n++].mask = kInputMask;
        config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
        config.attrs[n].attr.values = 0; // both lamps dark from the moment the lines are ours
        config.attrs[n++].mask = kOutputMask;
        if (setting.debounceMs > 0) {
            config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_DEBOUNCE;
            config.attrs[n].attr.debounce_period_us = setting.debounceMs * 1000;
            config.attrs[n++].mask = kInputMask;
        }
        config.num_attrs = n;
        return request;
    }

} // namespace

GpioBoard::GpioBoard(GpioSetting chosen, SystemCalls &calls)
    : HardwareBoard("GPIO board"),
      setting(std::move(chosen)),
      io(calls)
{
}

GpioBoard::~GpioBoard() = default;

void GpioBoard::OpenBoard(std::int32_t first, std::int32_t second)
{
    const BoardCall call { "OpenBoard", first, second };
    if (request.valid())
        return;
    const std::string &path = setting.chip;

    // Nothing but a GPIO chip is opened: a watchdog starts counting when it is opened, and a
    // terminal could become the panel's own. So the path is looked at first, and what was opened
    // is checked again before anything is asked of it.
    const auto found = findDevice(call, io, path, "gpio", "a GPIO chip");
    if (!found)
        return; // no such chip: the board is not plugged in
    const struct stat &status = *found;

    const int fd = io.openPath(path);
    if (fd == -ENOENT || fd == -ENODEV || fd == -ENXIO)
        return; // gone since: the board is not plugged in
    if (fd == -EACCES || fd == -EPERM)
        call.fail("permission denied opening " + path
                + "; add your user to the group that owns it (usually gpio: sudo "
                  "usermod -aG gpio $USER, then log in again) or install the udev rule "
                  "from the README");
    if (fd < 0)
        call.fail("cannot open " + path + ": " + reason(fd));
    const FileDescriptor chip(io, fd); // closed once the lines are requested: they live on
    struct stat opened
    {
    };
    if (const int result = io.statusOf(chip.get(), opened); result < 0)
        call.fail("cannot look at " + path + ": " + reason(result));
    if (!S_ISCHR(opened.st_mode) || opened.st_rdev != status.st_rdev)
        call.fail(path + " changed while it was being opened");

    gpiochip_info info {};
    if (const int result = io.control(chip.get(), GPIO_GET_CHIPINFO_IOCTL, &info); result < 0)
        call.fail(path + " is not a GPIO chip: " + reason(result));
    resolveNames(call, chip.get(), info.lines);
    const auto lines = offsetsOf(setting);
    for (std::size_t a = 0; a < lines.size(); ++a) {
        if (lines[a] >= info.lines)
            call.fail("line " + std::to_string(lines[a]) + " is not on " + path + ", which has "
                    + std::to_string(info.lines) + " lines");
        for (std::size_t b = a + 1; b < lines.size(); ++b)
            if (lines[a] == lines[b])
                call.fail("line " + std::to_string(lines[a]) + " of " + path + " is given for both "
                        + kKeys[a] + " and " + kKeys[b]);
    }

    gpio_v2_line_request wanted = lineRequest(setting);
    if (const int result = io.control(chip.get(), GPIO_V2_GET_LINE_IOCTL, &wanted); result < 0) {
        if (result == -EBUSY)
            call.fail("lines " + linesOf(setting) + " of " + path
                    + " are busy: another program holds one of them (gpioinfo shows "
                      "which)");
        call.fail(
                "cannot request lines " + linesOf(setting) + " of " + path + ": " + reason(result));
    }
    request.watch(FileDescriptor(io, wanted.fd), [this] { readEvents(); });
    attach();
    // Where deletions cannot be watched, a chip that goes is still found at the next call.
    if (const int watch = io.watchDeletions(std::filesystem::path(path).parent_path().string());
            watch >= 0)
        deletions.watch(FileDescriptor(io, watch), [this] { checkChip(); });
}

void GpioBoard::checkChip()
{
    char events[512];
    while (deletions.read(events, sizeof events) > 0) { }
    if (!isAttached())
        return;
    gpio_v2_line_values values {};
    values.mask = kInputMask;
    if (io.control(request.get(), GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != -ENODEV)
        return; // another node went, or the chip's node alone: the chip is still there
    lost("the chip was removed");
    raiseLoss();
}

void GpioBoard::resolveNames(const BoardCall &call, int chip, std::uint32_t lineCount)
{
    if (std::all_of(setting.names.begin(), setting.names.end(),
                [](const std::string &name) { return name.empty(); }))
        return;
    // Every line's name, as the chip reports it: a name may be on no line, or on several.
    std::vector<std::string> names(lineCount);
    for (std::uint32_t offset = 0; offset < lineCount; ++offset) {
        gpio_v2_line_info line {};
        line.offset = offset;
        if (const int result = io.control(chip, GPIO_V2_GET_LINEINFO_IOCTL, &line); result < 0)
            call.fail("cannot read the name of line " + std::to_string(offset) + " of "
                    + setting.chip + ": " + reason(result));
        names[offset] = std::string(line.name, strnlen(line.name, sizeof line.name));
    }
    const auto offsets = offsetSlots(setting);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const std::string &wanted = setting.names[i];
        if (wanted.empty())
            continue;
        std::vector<std::uint32_t> found;
        for (std::uint32_t offset = 0; offset < lineCount; ++offset)
            if (names[offset] == wanted)
                found.push_back(offset);
        if (found.empty())
            call.fail("no line of " + setting.chip + " is named \"" + wanted + "\" (for " + kKeys[i]
                    + "); gpioinfo lists the names, or give the line's offset");
        if (found.size() > 1)
            call.fail("\"" + wanted + "\" names " + std::to_string(found.size()) + " lines of "
                    + setting.chip + " (" + std::to_string(found[0]) + " and "
                    + std::to_string(found[1]) + "); give the offset of the one for " + kKeys[i]);
        *offsets[i] = found.front();
    }
}

void GpioBoard::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    const BoardCall call { "SetOutputLevel", Index, level };
    const std::size_t line = kOutputBit + output(call);
    gpio_v2_line_values values {};
    values.mask = std::uint64_t { 1 } << line;
    values.bits = level > 0 ? values.mask : 0;
    lineValues(call, GPIO_V2_LINE_SET_VALUES_IOCTL, values);
}

Boolean GpioBoard::ReadInput(std::int16_t Index)
{
    const BoardCall call { "ReadInput", Index };
    const std::size_t line = kInputBit + input(call, Index);
    gpio_v2_line_values values {};
    values.mask = std::uint64_t { 1 } << line;
    lineValues(call, GPIO_V2_LINE_GET_VALUES_IOCTL, values);
    return (values.bits & values.mask) != 0 ? kTrue : kFalse;
}

void GpioBoard::lineValues(
        const BoardCall &call, unsigned long command, gpio_v2_line_values &values)
{
    const int result = io.control(request.get(), command, &values);
    if (result == -ENODEV) {
        lost("the chip was removed");
        call.fail(loss());
    }
    if (result < 0)
        call.fail(reason(result));
}

void GpioBoard::readEvents()
{
    gpio_v2_line_event events[kEventsPerRead] {};
    const ssize_t bytes = request.read(events, sizeof events);
    if (bytes == -EAGAIN)
        return;
    if (bytes <= 0 || bytes % static_cast<ssize_t>(sizeof events[0]) != 0) {
        // Hung up or failed: never watch it again, or the loop would spin. Nothing is under way,
        // so the panel learns of the loss through an input change whose read fails.
        lost(bytes == 0 || bytes == -ENODEV ? std::string("the chip was removed")
                                            : "its line events cannot be read: "
                                + (bytes < 0 ? reason(static_cast<int>(bytes))
                                             : std::string("a part of an event came")));
        raiseLoss();
        return;
    }
    const auto count = static_cast<std::size_t>(bytes) / sizeof events[0];
    for (std::size_t i = 0; i < count && isAttached(); ++i) {
        const gpio_v2_line_event &event = events[i];
        std::int16_t index = -1;
        if (event.offset == setting.inputs[0])
            index = 0;
        else if (event.offset == setting.inputs[1])
            index = 1;
        if (index < 0 || !inputChanged)
            continue;
        inputChanged(index, event.id == GPIO_V2_LINE_EVENT_RISING_EDGE ? kTrue : kFalse);
    }
}

void GpioBoard::lost(const std::string &cause)
{
    lose(setting.chip, cause);
    request.stopWatching();
    deletions.reset();
}

std::unique_ptr<BoardLink> makeBoard(const GpioSetting &setting, const BoardContext &context)
{
    return std::make_unique<GpioBoard>(setting, context.calls);
}

} // namespace meridan
