#include "board_setting.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <vector>

namespace meridan {

namespace {

    SettingError wrong(std::string what)
    {
        return { std::move(what) + "; accepted: " + std::string(kAcceptedSettings) };
    }

    // Quotes a part of the setting; it is printable ASCII by the time anything is quoted.
    std::string quoted(std::string_view text)
    {
        std::string result;
        result.reserve(text.size() + 2);
        result += '"';
        result += text;
        result += '"';
        return result;
    }

    std::optional<std::uint32_t> number(std::string_view text)
    {
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc {} || end != text.data() + text.size())
            return std::nullopt;
        return value;
    }

    bool isChipName(std::string_view name)
    {
        constexpr std::string_view prefix = "gpiochip";
        if (!name.starts_with(prefix) || name.size() == prefix.size())
            return false;
        for (const char c : name.substr(prefix.size()))
            if (c < '0' || c > '9')
                return false;
        return true;
    }

    BoardSetting parseGpio(std::string_view text)
    {
        std::vector<std::string_view> parts;
        for (std::size_t start = 0;;) {
            const std::size_t comma = text.find(',', start);
            parts.push_back(text.substr(start, comma - start));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        GpioSetting setting;
        const std::string_view chip = parts.front();
        if (chip.empty())
            return wrong("MERIDAN_BOARD names no GPIO chip after \"gpio:\"");
        if (isChipName(chip))
            setting.chip = "/dev/" + std::string(chip);
        else if (chip.starts_with('/') && chip.find("/../") == std::string_view::npos
                && !chip.ends_with("/.."))
            setting.chip = chip;
        else
            return wrong("the GPIO chip " + quoted(chip)
                    + " is neither a chip name like gpiochip0 nor an absolute path like "
                      "/dev/gpiochip0");

        struct Line
        {
            std::string_view key;
            std::uint32_t *offset;
            std::string *name;
            bool given = false;
        };
        Line lines[] = { { "out0", &setting.outputs[0], &setting.names[0] },
            { "out1", &setting.outputs[1], &setting.names[1] },
            { "in0", &setting.inputs[0], &setting.names[2] },
            { "in1", &setting.inputs[1], &setting.names[3] } };
        bool biasGiven = false, polarityGiven = false, debounceGiven = false;

        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string_view part = parts[i];
            if (part.empty())
                return wrong("MERIDAN_BOARD has an empty part between commas (part "
                        + std::to_string(i + 1) + ")");
            const std::size_t equals = part.find('=');
            const std::string_view key = part.substr(0, equals);
            const std::string_view value = equals == std::string_view::npos
                    ? std::string_view {}
                    : part.substr(equals + 1);
            const auto once = [&](bool &given) -> std::optional<SettingError> {
                if (given)
                    return wrong("the GPIO option " + quoted(key) + " is given twice");
                given = true;
                return std::nullopt;
            };
            bool known = false;
            for (Line &line : lines) {
                if (key != line.key)
                    continue;
                known = true;
                if (auto error = once(line.given))
                    return *error;
                // An offset is a whole number; a name (GPIO17, the chip's own) starts with a
                // letter or an underscore.
                const bool looksLikeName = !value.empty()
                        && (std::isalpha(static_cast<unsigned char>(value.front()))
                                || value.front() == '_');
                if (const auto offset = number(value))
                    *line.offset = *offset;
                else if (looksLikeName)
                    *line.name = value; // looked up among the chip's names when it opens
                else
                    return wrong("the line of " + std::string(key)
                            + " must be an offset (a whole number) or a line's name, not "
                            + quoted(value));
            }
            if (known)
                continue;
            if (key == "bias") {
                if (auto error = once(biasGiven))
                    return *error;
                if (value == "pull-up")
                    setting.bias = Bias::PullUp;
                else if (value == "pull-down")
                    setting.bias = Bias::PullDown;
                else if (value == "none")
                    setting.bias = Bias::Disabled;
                else
                    return wrong("bias is pull-up, pull-down or none, not " + quoted(value));
            } else if (part == "active-low") {
                if (auto error = once(polarityGiven))
                    return *error;
                setting.activeLow = true;
            } else if (key == "debounce") {
                if (auto error = once(debounceGiven))
                    return *error;
                const auto ms = number(value);
                if (!ms || *ms > kLongestDebounceMs)
                    return wrong("debounce is a whole number of milliseconds from 0 to "
                            + std::to_string(kLongestDebounceMs) + ", not " + quoted(value));
                setting.debounceMs = *ms;
            } else {
                return wrong(quoted(part) + " is not a GPIO option");
            }
        }
        for (const Line &line : lines)
            if (!line.given)
                return wrong("the GPIO board needs out0, out1, in0 and in1, and "
                        + std::string(line.key) + " is missing");
        for (std::size_t a = 0; a < 4; ++a)
            for (std::size_t b = a + 1; b < 4; ++b) {
                const Line &one = lines[a], &other = lines[b];
                if (one.name->empty() != other.name->empty())
                    continue; // an offset and a name: only the chip can tell
                if (*one.name != *other.name || *one.offset != *other.offset)
                    continue;
                const std::string which =
                        one.name->empty() ? std::to_string(*one.offset) : quoted(*one.name);
                return wrong("line " + which + " is given for both " + std::string(one.key)
                        + " and " + std::string(other.key));
            }
        return setting;
    }

} // namespace

BoardSetting parseBoardSetting(std::string_view text)
{
    if (text.size() > kLongestSetting)
        return wrong("MERIDAN_BOARD is " + std::to_string(text.size())
                + " characters long, more than the " + std::to_string(kLongestSetting)
                + " a setting may have");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0)
            return wrong(
                    "MERIDAN_BOARD holds a NUL character at position " + std::to_string(i + 1));
        if (byte == ' ')
            return wrong("MERIDAN_BOARD holds a space at position " + std::to_string(i + 1));
        if (byte < 0x21 || byte > 0x7E) {
            static constexpr char hex[] = "0123456789ABCDEF";
            return wrong("MERIDAN_BOARD holds a character that is not printable ASCII (byte 0x"
                    + std::string { hex[byte >> 4], hex[byte & 0xF] } + ") at position "
                    + std::to_string(i + 1));
        }
    }
    if (text.empty() || text == "sim")
        return SimulatedSetting { true, {} };
    if (text == "sim-unplugged")
        return SimulatedSetting { false, {} };
    constexpr std::string_view record = "sim,record=";
    if (text.starts_with(record)) {
        if (text.size() == record.size())
            return wrong("sim,record= names no file to record the output writes in");
        return SimulatedSetting { true, std::string(text.substr(record.size())) };
    }
    constexpr std::string_view gpio = "gpio:";
    if (text.starts_with(gpio))
        return parseGpio(text.substr(gpio.size()));
    return wrong("MERIDAN_BOARD is " + quoted(text) + ", which is no board");
}

} // namespace meridan
