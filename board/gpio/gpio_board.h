#pragma once

#include "board/gpio/gpio_setting.h"
#include "board/hardware_board.h"
#include "system/system_calls.h"
#include "system/watched_descriptor.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct gpio_v2_line_values;

namespace meridan {

// Two lamps and two switches on Linux GPIO, through the kernel's GPIO character device (uAPI v2).
// The four lines are on one chip, or, where every line is given by name and no chip, on whichever
// chips have those names: one line request for each chip, holding that chip's lines in the order
// output 0, output 1, input 0, input 1. The outputs are requested as outputs already dark (with
// the kernel's active-low flag for out-active-low, so that dark is high); the inputs with both
// edges detected and the chosen bias, polarity and debounce. Each request's descriptor is watched
// by the event loop, and each edge raises OnInputChange.
//
// OpenBoard finds the chip (by path, or by label among the chips) or the chips that have the
// lines' names, opens each only once it has seen that the path is a GPIO character device, looks
// up the lines given by name, and requests the lines of every chip before any is written. A chip
// that does not exist, a label no chip has, or names that no chip has leave the board not present.
// PresetChannel checks the channel and the value and changes nothing on this board: the outputs
// are already requested dark. A hang-up or read error on a request, or ENODEV from a line call,
// means the board has gone: every later operation fails with a message that names the chip and
// the cause. A loss that the event loop learns of, with no call under way, raises OnInputChange,
// so that the panel's switch handler reads an input and reports the loss at once. The event loop
// learns of it from the request's hang-up where the kernel gives one, and from the chip's device
// node being deleted where it does not (Linux 6.1 leaves the request quiet): each deletion in the
// nodes' folder makes the board ask each request whether its chip is still there.
class GpioBoard : public HardwareBoard
{
public:
    static constexpr const char *kConsumer = "meridan";

    GpioBoard(GpioSetting setting, SystemCalls &calls);
    ~GpioBoard() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;

    // A chip opened while the board opens.
    struct Chip;

private:
    // The lines of the board on one chip, and the kernel's request that holds them.
    struct Request
    {
        std::string chip; // the chip's path
        std::vector<std::size_t> roles; // out0, out1, in0, in1 (0 to 3) in request order
        std::vector<std::uint32_t> offsets; // the lines' offsets, in the same order
        WatchedDescriptor lines;
    };
    // Where one of the four lines is: its request, and its bit in that request's values.
    struct Place
    {
        std::size_t request = 0;
        std::size_t bit = 0;
    };

    // Opens the chip at `path`; nullopt where there is none. A chip this user may not open fails
    // `call`, unless `unreadable` is given: the chip is then said there, and passed over.
    static std::optional<Chip> openChip(const BoardCall &call, SystemCalls &io,
            const std::string &path, std::vector<std::string> *unreadable = nullptr);
    // Every GPIO chip in the system that this user may open, in the order of their numbers; the
    // others go to `unreadable`, each with what to do about it.
    static std::vector<Chip> everyChip(
            const BoardCall &call, SystemCalls &io, std::vector<std::string> &unreadable);
    static void readLineNames(const BoardCall &call, SystemCalls &io, Chip &chip);
    // Finds and opens the chips the setting names, and each line's chip and offset. False where
    // the board is not plugged in.
    bool findLines(const BoardCall &call, std::vector<Chip> &chips,
            std::array<std::size_t, 4> &chipOf, std::array<std::uint32_t, 4> &offsets);
    void requestLines(const BoardCall &call, std::vector<Chip> &chips,
            const std::array<std::size_t, 4> &chipOf, const std::array<std::uint32_t, 4> &offsets);
    // Sets or gets line values through a request; ENODEV means the board has gone.
    void lineValues(const BoardCall &call, const Place &place, unsigned long command,
            gpio_v2_line_values &values);
    void readEvents(Request &request);
    void checkChips();
    void lost(const std::string &chip, const std::string &cause);

    GpioSetting setting;
    SystemCalls &io;
    std::vector<std::unique_ptr<Request>> requests;
    std::array<Place, 4> places {};
    WatchedDescriptor deletions; // in the chip nodes' folder
};

} // namespace meridan
