#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// unset, empty or "sim": the simulated board, attached; "sim,record=FILE": the same, appending
// every output write to FILE, one a line; "sim-unplugged": the simulated board, reported as not
// attached.
struct SimulatedSetting
{
    static constexpr std::string_view kPrefix = "sim";
    static constexpr std::string_view kAccepted =
            "sim (the default, also when unset or empty), sim,record=FILE, sim-unplugged";

    bool attached = true;
    std::string record; // where output writes are appended, or empty
    bool operator==(const SimulatedSetting &) const = default;
};

// Reads a setting that starts with "sim", or an empty one; what is wrong if it is malformed.
std::variant<SimulatedSetting, std::string> parseSimulatedSetting(std::string_view text);

} // namespace meridan
