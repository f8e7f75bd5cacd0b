#include "board/gpio/gpio_board.h"

#include "board/board_context.h"
#include "board/board_setting.h"
#include "system/device_users.h"

#include <linux/gpio.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

#include <sys/stat.h>

namespace meridan {

struct GpioBoard::Chip
{
    std::string path;
    FileDescriptor fd;
    gpiochip_info info {};
    std::vector<std::string> lineNames; // each line's, read where lines are looked up by name

    std::string name() const { return { info.name, strnlen(info.name, sizeof info.name) }; }
    std::string label() const { return { info.label, strnlen(info.label, sizeof info.label) }; }
};

// The GPIO character device's v2 structures have fixed-size fields and explicit padding, so that a
// 32-bit program (armhf) on a 64-bit kernel passes them with no translation: the same sizes and
// offsets on every architecture, or the kernel reads garbage.
static_assert(sizeof(gpio_v2_line_attribute) == 16 && offsetof(gpio_v2_line_attribute, flags) == 8);
static_assert(sizeof(gpio_v2_line_config_attribute) == 24
        && offsetof(gpio_v2_line_config_attribute, mask) == 16);
static_assert(sizeof(gpio_v2_line_config) == 272 && offsetof(gpio_v2_line_config, num_attrs) == 8
        && offsetof(gpio_v2_line_config, attrs) == 32);
static_assert(sizeof(gpio_v2_line_request) == 592 && offsetof(gpio_v2_line_request, consumer) == 256
        && offsetof(gpio_v2_line_request, config) == 288
        && offsetof(gpio_v2_line_request, num_lines) == 560
        && offsetof(gpio_v2_line_request, event_buffer_size) == 564
        && offsetof(gpio_v2_line_request, fd) == 588);
static_assert(sizeof(gpio_v2_line_info) == 256 && offsetof(gpio_v2_line_info, offset) == 64
        && offsetof(gpio_v2_line_info, flags) == 72 && offsetof(gpio_v2_line_info, attrs) == 80);
static_assert(sizeof(gpio_v2_line_values) == 16 && offsetof(gpio_v2_line_values, mask) == 8);
static_assert(sizeof(gpio_v2_line_event) == 48 && offsetof(gpio_v2_line_event, id) == 8
        && offsetof(gpio_v2_line_event, offset) == 12 && offsetof(gpio_v2_line_event, seqno) == 16
        && offsetof(gpio_v2_line_event, line_seqno) == 20);
static_assert(sizeof(gpiochip_info) == 68 && offsetof(gpiochip_info, lines) == 64);

namespace {

    constexpr std::size_t kInputSlot = 2; // out0 and out1 are roles 0 and 1, in0 and in1 2 and 3
    constexpr std::size_t kEventsPerRead = 16;
    // Where the kernel's GPIO chips appear, each as gpiochipN.
    constexpr const char *kChipFolder = "/dev";
    constexpr std::string_view kChipPrefix = "gpiochip";

    std::string reason(int negativeErrno)
    {
        return std::strerror(-negativeErrno);
    }

    std::string linesOf(const std::vector<std::uint32_t> &offsets)
    {
        std::vector<std::string> numbers;
        numbers.reserve(offsets.size());
        for (const std::uint32_t offset : offsets)
            numbers.push_back(std::to_string(offset));
        return (numbers.size() == 1 ? "line " : "lines ") + listed(numbers);
    }

    // The offsets of the chip's lines that carry `name`, as its line names were read.
    std::vector<std::uint32_t> linesNamed(
            const std::vector<std::string> &lineNames, const std::string &name)
    {
        std::vector<std::uint32_t> found;
        for (std::uint32_t offset = 0; offset < lineNames.size(); ++offset)
            if (lineNames[offset] == name)
                found.push_back(offset);
        return found;
    }

    std::string lineName(const gpio_v2_line_info &line)
    {
        return { line.name, strnlen(line.name, sizeof line.name) };
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

    // The request of one chip's lines, `roles` saying which of out0, out1, in0 and in1 each is.
    gpio_v2_line_request lineRequest(const GpioSetting &setting,
            const std::vector<std::size_t> &roles, const std::vector<std::uint32_t> &offsets)
    {
        gpio_v2_line_request request {};
        std::copy(offsets.begin(), offsets.end(), request.offsets);
        request.num_lines = static_cast<std::uint32_t>(offsets.size());
        std::strncpy(request.consumer, GpioBoard::kConsumer, sizeof request.consumer - 1);
        std::uint64_t outputs = 0, inputs = 0;
        for (std::size_t i = 0; i < roles.size(); ++i)
            (roles[i] < kInputSlot ? outputs : inputs) |= std::uint64_t { 1 } << i;
        // With out-active-low the kernel inverts the outputs: a lamp's 0 (dark) drives its line
        // high, from the request on.
        const std::uint64_t outputFlags = GPIO_V2_LINE_FLAG_OUTPUT
                | (setting.outActiveLow ? std::uint64_t { GPIO_V2_LINE_FLAG_ACTIVE_LOW } : 0);
        gpio_v2_line_config &config = request.config;
        config.flags = outputs != 0 ? outputFlags : inputFlags(setting);
        std::uint32_t n = 0;
        if (outputs != 0 && inputs != 0) {
            config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
            config.attrs[n].attr.flags = inputFlags(setting);
            config.attrs[n++].mask = inputs;
        }
        if (outputs != 0) {
            config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
            config.attrs[n].attr.values = 0; // both lamps dark from the moment the lines are ours
            config.attrs[n++].mask = outputs;
        }
        if (inputs != 0 && setting.debounceMs > 0) {
            config.attrs[n].attr.id = GPIO_V2_LINE_ATTR_ID_DEBOUNCE;
            config.attrs[n].attr.debounce_period_us = setting.debounceMs * 1000;
            config.attrs[n++].mask = inputs;
        }
        config.num_attrs = n;
        return request;
    }

    // Why lines could not be had: each one in use, and its holder, as the kernel names them.
    std::string busy(
            SystemCalls &io, const GpioBoard::Chip &chip, const std::vector<std::uint32_t> &offsets)
    {
        std::vector<std::string> holders;
        for (const std::uint32_t offset : offsets) {
            gpio_v2_line_info line {};
            line.offset = offset;
            if (io.control(chip.fd.get(), GPIO_V2_GET_LINEINFO_IOCTL, &line) < 0
                    || (line.flags & GPIO_V2_LINE_FLAG_USED) == 0)
                continue;
            const std::string name = lineName(line);
            const std::string consumer(line.consumer, strnlen(line.consumer, sizeof line.consumer));
            // Appended piece by piece: GCC 12 at -O3 takes a literal before a temporary string
            // for an overlap (-Wrestrict).
            std::string holder = "line ";
            holder += std::to_string(offset);
            if (!name.empty()) {
                holder += ' ';
                holder += meridan::quoted(name);
            }
            holder += " of ";
            holder += chip.name();
            holder += " is used by ";
            holder += consumer.empty() ? std::string("a program that gave no name")
                                       : meridan::quoted(consumer);
            holders.push_back(std::move(holder));
        }
        return linesOf(offsets) + " of " + chip.path + (offsets.size() == 1 ? " is" : " are")
                + " busy: "
                + (holders.empty() ? "another program holds one of them (gpioinfo shows which)"
                                   : listed(holders))
                + "; end that program, or wire the panel to other lines";
    }

} // namespace

GpioBoard::GpioBoard(GpioSetting chosen, SystemCalls &calls)
    : HardwareBoard("GPIO board"),
      setting(std::move(chosen)),
      io(calls)
{
}

GpioBoard::~GpioBoard() = default;

std::optional<GpioBoard::Chip> GpioBoard::openChip(const BoardCall &call, SystemCalls &io,
        const std::string &path, std::vector<std::string> *unreadable)
{
    // Nothing but a GPIO chip is opened: a watchdog starts counting when it is opened, and a
    // terminal could become the panel's own. So the path is looked at first, and what was opened
    // is checked again before anything is asked of it.
    const auto found = findDevice(call, io, path, "gpio", "a GPIO chip");
    if (!found)
        return std::nullopt; // no such chip: the board is not plugged in
    const struct stat &status = *found;

    const int fd = io.openPath(path);
    if (fd == -ENOENT || fd == -ENODEV || fd == -ENXIO)
        return std::nullopt; // gone since: the board is not plugged in
    if ((fd == -EACCES || fd == -EPERM) && unreadable != nullptr) {
        unreadable->push_back(
                path + " (permission denied; " + permissionAdvice(status.st_gid) + ")");
        return std::nullopt;
    }
    if (fd == -EACCES || fd == -EPERM)
        call.fail("permission denied opening " + path + "; " + permissionAdvice(status.st_gid));
    if (fd < 0)
        call.fail("cannot open " + path + ": " + reason(fd));
    Chip chip { path, FileDescriptor(io, fd), {}, {} }; // closed once the lines are requested
    struct stat opened = {};
    if (const int result = io.statusOf(chip.fd.get(), opened); result < 0)
        call.fail("cannot look at " + path + ": " + reason(result));
    if (!S_ISCHR(opened.st_mode) || opened.st_rdev != status.st_rdev)
        call.fail(path + " changed while it was being opened");
    if (const int result = io.control(chip.fd.get(), GPIO_GET_CHIPINFO_IOCTL, &chip.info);
            result < 0)
        call.fail(path + " is not a GPIO chip: " + reason(result));
    return chip;
}

std::vector<GpioBoard::Chip> GpioBoard::everyChip(
        const BoardCall &call, SystemCalls &io, std::vector<std::string> &unreadable)
{
    std::vector<std::pair<std::uint32_t, std::string>> numbered;
    for (const std::string &entry : io.entriesOf(kChipFolder)) {
        if (!entry.starts_with(kChipPrefix))
            continue;
        if (const auto number = wholeNumber(std::string_view(entry).substr(kChipPrefix.size())))
            numbered.emplace_back(*number, entry);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<Chip> chips;
    for (const auto &[number, entry] : numbered)
        if (auto chip = openChip(call, io, std::string(kChipFolder) + "/" + entry, &unreadable))
            chips.push_back(std::move(*chip));
    return chips;
}

void GpioBoard::readLineNames(const BoardCall &call, SystemCalls &io, Chip &chip)
{
    chip.lineNames.assign(chip.info.lines, {});
    for (std::uint32_t offset = 0; offset < chip.info.lines; ++offset) {
        gpio_v2_line_info line {};
        line.offset = offset;
        if (const int result = io.control(chip.fd.get(), GPIO_V2_GET_LINEINFO_IOCTL, &line);
                result < 0)
            call.fail("cannot read the name of line " + std::to_string(offset) + " of " + chip.path
                    + ": " + reason(result));
        chip.lineNames[offset] = lineName(line);
    }
}

void GpioBoard::OpenBoard(std::int32_t first, std::int32_t second)
{
    const BoardCall call { "OpenBoard", first, second };
    if (!requests.empty())
        return;
    std::vector<Chip> chips;
    std::array<std::size_t, 4> chipOf {};
    std::array<std::uint32_t, 4> offsets {};
    if (!findLines(call, chips, chipOf, offsets))
        return; // not plugged in
    std::array<std::string, 4> identities;
    for (std::size_t l = 0; l < offsets.size(); ++l) {
        const Chip &chip = chips[chipOf[l]];
        if (offsets[l] >= chip.info.lines)
            call.fail("line " + std::to_string(offsets[l]) + " is not on " + chip.path
                    + ", which has " + std::to_string(chip.info.lines) + " lines");
        identities[l] = std::to_string(offsets[l]) + " of " + chip.path;
    }
    if (const auto twice = lineGivenTwice(identities, "line"))
        call.fail(*twice);
    requestLines(call, chips, chipOf, offsets);
    attach();
    // Where deletions cannot be watched, a chip that goes is still found at the next call.
    const std::string folder = std::filesystem::path(requests.front()->chip).parent_path().string();
    if (const int watch = io.watchDeletions(folder); watch >= 0)
        deletions.watch(FileDescriptor(io, watch), [this] { checkChips(); });
}

bool GpioBoard::findLines(const BoardCall &call, std::vector<Chip> &chips,
        std::array<std::size_t, 4> &chipOf, std::array<std::uint32_t, 4> &offsets)
{
    const bool anyName = std::any_of(setting.names.begin(), setting.names.end(),
            [](const std::string &name) { return !name.empty(); });
    if (!setting.chip.empty()) {
        auto chip = openChip(call, io, setting.chip);
        if (!chip)
            return false;
        chips.push_back(std::move(*chip));
    } else if (!setting.label.empty()) {
        std::vector<std::string> paths, unreadable;
        for (Chip &chip : everyChip(call, io, unreadable))
            if (chip.label() == setting.label) {
                paths.push_back(chip.path);
                chips.push_back(std::move(chip));
            }
        if (chips.empty() && !unreadable.empty())
            call.fail("no GPIO chip this user may open is labelled "
                    + meridan::quoted(setting.label) + ", and " + listed(unreadable)
                    + " could not be looked at");
        if (chips.empty())
            return false; // no chip has that label: the board is not plugged in
        if (chips.size() > 1)
            call.fail("the label " + meridan::quoted(setting.label) + " is on "
                    + std::to_string(chips.size()) + " chips (" + listed(paths)
                    + "); give the chip's name or path instead");
    }

    if (!chips.empty()) {
        // One chip: each line by its offset, or by the one line of the chip with its name.
        Chip &chip = chips.front();
        offsets = setting.lines();
        if (anyName)
            readLineNames(call, io, chip);
        for (std::size_t l = 0; l < offsets.size(); ++l) {
            const std::string &wanted = setting.names[l];
            if (wanted.empty())
                continue;
            const std::vector<std::uint32_t> found = linesNamed(chip.lineNames, wanted);
            if (found.empty())
                call.fail("no line of " + chip.path + " is named " + meridan::quoted(wanted)
                        + " (for " + std::string(kLineKeys[l])
                        + "); gpioinfo lists the names, or give the line's offset");
            if (found.size() > 1)
                call.fail(meridan::quoted(wanted) + " names " + std::to_string(found.size())
                        + " lines of " + chip.path + " (" + std::to_string(found[0]) + " and "
                        + std::to_string(found[1]) + "); give the offset of the one for "
                        + std::string(kLineKeys[l]));
            offsets[l] = found.front();
        }
        return true;
    }

    // No chip given: every line is given by its name, which is looked up on every chip.
    std::vector<std::string> unreadable;
    chips = everyChip(call, io, unreadable);
    for (Chip &chip : chips)
        readLineNames(call, io, chip);
    std::vector<std::string> missing;
    for (std::size_t l = 0; l < offsets.size(); ++l) {
        const std::string &wanted = setting.names[l];
        std::vector<std::string> where;
        for (std::size_t c = 0; c < chips.size(); ++c)
            for (const std::uint32_t offset : linesNamed(chips[c].lineNames, wanted)) {
                chipOf[l] = c;
                offsets[l] = offset;
                where.push_back("line " + std::to_string(offset) + " of " + chips[c].path);
            }
        if (where.empty())
            missing.push_back(meridan::quoted(wanted) + " (for " + std::string(kLineKeys[l]) + ")");
        if (where.size() > 1)
            call.fail(meridan::quoted(wanted) + " (for " + std::string(kLineKeys[l]) + ") names "
                    + std::to_string(where.size()) + " lines: " + listed(where)
                    + "; give the chip first and the line's offset (gpio:CHIP,"
                    + std::string(kLineKeys[l]) + "=OFFSET,...)");
    }
    // A chip this user may not open may have them: say so rather than guess.
    if (!missing.empty() && !unreadable.empty())
        call.fail("no GPIO chip this user may open has a line named " + listed(missing) + ", and "
                + listed(unreadable) + " could not be searched");
    // None of them anywhere: the board that has them (a USB adapter, a HAT) is not plugged in.
    if (missing.size() == offsets.size())
        return false;
    if (!missing.empty())
        call.fail("no GPIO chip has a line named " + listed(missing)
                + ", though the other lines were found; gpioinfo lists every chip's lines");
    return true;
}

void GpioBoard::requestLines(const BoardCall &call, std::vector<Chip> &chips,
        const std::array<std::size_t, 4> &chipOf, const std::array<std::uint32_t, 4> &offsets)
{
    // Every chip's lines are requested before any is watched or written: a request refused
    // lets go of those made before it.
    std::vector<std::unique_ptr<Request>> made;
    std::vector<FileDescriptor> held;
    std::array<Place, 4> placed {};
    for (std::size_t c = 0; c < chips.size(); ++c) {
        auto request = std::make_unique<Request>();
        request->chip = chips[c].path;
        for (std::size_t l = 0; l < offsets.size(); ++l) {
            if (chipOf[l] != c)
                continue;
            placed[l] = { made.size(), request->roles.size() };
            request->roles.push_back(l);
            request->offsets.push_back(offsets[l]);
        }
        if (request->roles.empty())
            continue;
        gpio_v2_line_request wanted = lineRequest(setting, request->roles, request->offsets);
        if (const int result = io.control(chips[c].fd.get(), GPIO_V2_GET_LINE_IOCTL, &wanted);
                result < 0) {
            if (result == -EBUSY)
                call.fail(busy(io, chips[c], request->offsets));
            call.fail("cannot request " + linesOf(request->offsets) + " of " + chips[c].path + ": "
                    + reason(result));
        }
        held.emplace_back(io, wanted.fd);
        made.push_back(std::move(request));
    }
    for (std::size_t r = 0; r < made.size(); ++r) {
        Request &request = *made[r];
        request.lines.watch(std::move(held[r]), [this, &request] { readEvents(request); });
    }
    requests = std::move(made);
    places = placed;
}

void GpioBoard::checkChips()
{
    char events[512];
    while (deletions.read(events, sizeof events) > 0) {}
    if (!isAttached())
        return;
    for (const auto &request : requests) {
        gpio_v2_line_values values {};
        values.mask = (std::uint64_t { 1 } << request->roles.size()) - 1;
        if (io.control(request->lines.get(), GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != -ENODEV)
            continue; // another node went, or the chip's node alone: the chip is still there
        lost(request->chip, "the chip was removed");
        raiseLoss();
        return;
    }
}

void GpioBoard::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    const BoardCall call { "SetOutputLevel", Index, level };
    const Place &place = places[output(call)];
    gpio_v2_line_values values {};
    values.mask = std::uint64_t { 1 } << place.bit;
    values.bits = level > 0 ? values.mask : 0;
    lineValues(call, place, GPIO_V2_LINE_SET_VALUES_IOCTL, values);
}

Boolean GpioBoard::ReadInput(std::int16_t Index)
{
    const BoardCall call { "ReadInput", Index };
    const Place &place = places[kInputSlot + input(call, Index)];
    gpio_v2_line_values values {};
    values.mask = std::uint64_t { 1 } << place.bit;
    lineValues(call, place, GPIO_V2_LINE_GET_VALUES_IOCTL, values);
    return (values.bits & values.mask) != 0 ? kTrue : kFalse;
}

void GpioBoard::lineValues(const BoardCall &call, const Place &place, unsigned long command,
        gpio_v2_line_values &values)
{
    const Request &request = *requests[place.request];
    const int result = io.control(request.lines.get(), command, &values);
    if (result == -ENODEV) {
        lost(request.chip, "the chip was removed");
        call.fail(loss());
    }
    if (result < 0)
        call.fail(reason(result));
}

void GpioBoard::readEvents(Request &request)
{
    gpio_v2_line_event events[kEventsPerRead] {};
    const ssize_t bytes = request.lines.read(events, sizeof events);
    if (bytes == -EAGAIN)
        return;
    if (bytes <= 0 || bytes % static_cast<ssize_t>(sizeof events[0]) != 0) {
        // Hung up or failed: never watch it again, or the loop would spin. Nothing is under way,
        // so the panel learns of the loss through an input change whose read fails.
        lost(request.chip,
                bytes == 0 || bytes == -ENODEV ? std::string("the chip was removed")
                                               : "its line events cannot be read: "
                                + (bytes < 0 ? reason(static_cast<int>(bytes))
                                             : std::string("a part of an event came")));
        raiseLoss();
        return;
    }
    const auto count = static_cast<std::size_t>(bytes) / sizeof events[0];
    for (std::size_t i = 0; i < count && isAttached(); ++i) {
        const gpio_v2_line_event &event = events[i];
        for (std::size_t bit = 0; bit < request.roles.size(); ++bit) {
            const std::size_t slot = request.roles[bit];
            if (slot < kInputSlot || request.offsets[bit] != event.offset || !inputChanged)
                continue;
            inputChanged(static_cast<std::int16_t>(slot - kInputSlot),
                    event.id == GPIO_V2_LINE_EVENT_RISING_EDGE ? kTrue : kFalse);
        }
    }
}

void GpioBoard::lost(const std::string &chip, const std::string &cause)
{
    lose(chip, cause);
    for (const auto &request : requests)
        request->lines.stopWatching();
    deletions.reset();
}

std::unique_ptr<BoardLink> makeBoard(const GpioSetting &setting, const BoardContext &context)
{
    return std::make_unique<GpioBoard>(setting, context.calls);
}

} // namespace meridan
