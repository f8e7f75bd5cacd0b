// libFuzzer target for the board setting parser: whatever MERIDAN_BOARD holds, the parser must
// not crash, must not read out of bounds, and must either read a board or say what is wrong.

#include "board/board_setting.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const meridan::BoardSetting setting = meridan::parseBoardSetting(text);
    if (const auto *error = std::get_if<meridan::SettingError>(&setting)) {
        if (error->message.find("accepted: ") == std::string_view::npos)
            std::abort(); // an error that does not say what is accepted
        for (const char c : error->message)
            if (c < 0x20 || c > 0x7E)
                std::abort(); // an error that echoes what it should not
    } else if (const auto *gpio = std::get_if<meridan::GpioSetting>(&setting)) {
        if (gpio->chip.empty() || gpio->chip.front() != '/')
            std::abort();
    }
    return 0;
}
