#include "board/simulated/simulated_setting.h"

#include "board/line_setting.h"

namespace meridan {

std::variant<SimulatedSetting, std::string> parseSimulatedSetting(std::string_view text)
{
    if (text.empty() || text == "sim")
        return SimulatedSetting { true, {} };
    if (text == "sim-unplugged")
        return SimulatedSetting { false, {} };
    constexpr std::string_view record = "sim,record=";
    if (text.starts_with(record)) {
        if (text.size() == record.size())
            return std::string("sim,record= names no file to record the output writes in");
        return SimulatedSetting { true, std::string(text.substr(record.size())) };
    }
    return "MERIDAN_BOARD is " + quoted(text) + ", which is no board";
}

} // namespace meridan
