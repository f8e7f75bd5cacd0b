#pragma once

#include "gpio_setting.h"
#include "hardware_board.h"
#include "system_calls.h"
#include "watched_descriptor.h"

#include <cstdint>
#include <memory>
#include <string>

struct gpio_v2_line_values;

namespace meridan {

// Two lamps and two switches on a Linux GPIO chip, through the kernel's GPIO character device
// (uAPI v2). One line request holds the four lines: output 0, output 1, input 0 and input 1, in
// that order. The outputs are requested as outputs already dark; the inputs with both edges
// detected and the chosen bias, polarity and debounce. The request's descriptor is watched by the
// event loop, and each edge raises OnInputChange.
//
// OpenBoard opens the chip, only once it has seen that the path is a GPIO character device, looks
// up the lines given by name, and requests the lines; a chip that does not exist leaves the board
// not present. PresetChannel checks the channel and the value and changes nothing on this board:
// the outputs are already requested dark. A hang-up or read error on the request, or ENODEV from
// a line call, means the board has gone: every later operation fails with a message that names
// the chip and the cause. A loss that the event loop learns of, with no call under way, raises
// OnInputChange, so that the panel's switch handler reads an input and reports the loss at once.
// The event loop learns of it from the request's hang-up where the kernel gives one, and from the
// chip's device node being deleted where it does not (Linux 6.1 leaves the request quiet): each
// deletion in the node's folder makes the board ask the request whether its chip is still there.
class GpioBoard : public HardwareBoard
{
public:
    static constexpr const char *kConsumer = "meridan";

    GpioBoard(GpioSetting setting, SystemCalls &calls);
    ~GpioBoard() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;

private:
    // Sets or gets line values through the request; ENODEV means the board has gone.
    void lineValues(const BoardCall &call, unsigned long command, gpio_v2_line_values &values);
    void readEvents();
    void checkChip();
    void lost(const std::string &cause);
    // Looks up the lines given by name among the names the chip reports, and sets their offsets.
    void resolveNames(const BoardCall &call, int chip, std::uint32_t lineCount);

    GpioSetting setting;
    SystemCalls &io;
    WatchedDescriptor request;
    WatchedDescriptor deletions; // in the chip node's folder
};

} // namespace meridan
