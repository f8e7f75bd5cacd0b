#include "board/gpio/gpio_setting.h"

#include <cctype>

namespace meridan {

namespace {

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

} // namespace

std::variant<GpioSetting, std::string> parseGpioSetting(std::string_view text)
{
    GpioSetting setting;
    const std::string_view chip = text.substr(0, text.find(','));
    if (chip.empty())
        return std::string("MERIDAN_BOARD names no GPIO chip after \"gpio:\" (leave the chip "
                           "out only where every line is given by its name)");
    // The first word is the chip unless it is already a line (out0=GPIO17): then every line is
    // looked up by name on every chip.
    const bool chipGiven = chip.find('=') == std::string_view::npos;
    if (!chipGiven) {
        // Found by its lines' names.
    } else if (auto path = devicePath(chip, isChipName)) {
        setting.chip = std::move(*path);
    } else if (const auto number = wholeNumber(chip)) {
        setting.chip = "/dev/gpiochip" + std::to_string(*number);
    } else if (chip == "active-low" || chip == "in-active-low" || chip == "out-active-low") {
        return quoted(chip)
                + " is an option, not a GPIO chip: the chip, where one is given, comes first";
    } else if (chip.find('/') == std::string_view::npos && chip != "." && chip != "..") {
        setting.label = chip; // as gpiodetect prints it: pinctrl-rp1, gpio-pcf857x
    } else {
        return "the GPIO chip " + quoted(chip)
                + " is neither a chip name like gpiochip0, a number, a label like pinctrl-rp1 "
                  "nor an absolute path like /dev/gpiochip0";
    }

    auto split = splitLineSetting(text, "GPIO", true);
    if (auto *wrong = std::get_if<std::string>(&split))
        return std::move(*wrong);
    const LineWords &words = std::get<LineWords>(split);

    const std::array<std::uint32_t *, 4> offsets = { &setting.outputs[0], &setting.outputs[1],
        &setting.inputs[0], &setting.inputs[1] };
    std::array<std::string, 4> identities;
    for (std::size_t l = 0; l < kLineKeys.size(); ++l) {
        const std::string_view value = words.lines[l];
        // An offset is a whole number; a name (GPIO17, the chip's own) starts with a letter or
        // an underscore, and is looked up among the chip's names when it opens.
        const bool looksLikeName = !value.empty()
                && (std::isalpha(static_cast<unsigned char>(value.front()))
                        || value.front() == '_');
        if (const auto offset = wholeNumber(value)) {
            *offsets[l] = *offset;
            identities[l] = std::to_string(*offset);
        } else if (looksLikeName) {
            setting.names[l] = value;
            identities[l] = quoted(value);
        } else {
            return "the line of " + std::string(kLineKeys[l])
                    + " must be an offset (a whole number) or a line's name, not " + quoted(value);
        }
        if (!chipGiven && setting.names[l].empty())
            return "without a chip, each line is given by its name (GPIO17), so that it can be "
                   "found on any chip; "
                    + std::string(kLineKeys[l]) + "=" + std::string(value)
                    + " is an offset: give its name, or the chip first (gpio:gpiochip0,...)";
    }
    if (words.bias) {
        const auto bias = biasNamed(*words.bias);
        if (!bias)
            return "bias is pull-up, pull-down or none, not " + quoted(*words.bias);
        setting.bias = *bias;
    }
    setting.activeLow = words.activeLow;
    setting.outActiveLow = words.outActiveLow;
    if (words.debounce) {
        const auto ms = debounceNamed(*words.debounce);
        if (!ms)
            return debounceRefusal(*words.debounce);
        setting.debounceMs = *ms;
    }
    // An offset and a name are never compared: only the chip can tell.
    if (auto twice = lineGivenTwice(identities, "line"))
        return std::move(*twice);
    return setting;
}

} // namespace meridan
