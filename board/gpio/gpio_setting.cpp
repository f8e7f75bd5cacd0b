#include "gpio_setting.h"

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
        return std::string("MERIDAN_BOARD names no GPIO chip after \"gpio:\"");
    if (auto path = devicePath(chip, isChipName))
        setting.chip = std::move(*path);
    else
        return "the GPIO chip " + quoted(chip)
                + " is neither a chip name like gpiochip0 nor an absolute path like "
                  "/dev/gpiochip0";

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
    }
    if (words.bias) {
        const auto bias = biasNamed(*words.bias);
        if (!bias)
            return "bias is pull-up, pull-down or none, not " + quoted(*words.bias);
        setting.bias = *bias;
    }
    setting.activeLow = words.activeLow;
    if (words.debounce) {
        const auto ms = wholeNumber(*words.debounce);
        if (!ms || *ms > kLongestDebounceMs)
            return "debounce is a whole number of milliseconds from 0 to "
                    + std::to_string(kLongestDebounceMs) + ", not " + quoted(*words.debounce);
        setting.debounceMs = *ms;
    }
    // An offset and a name are never compared: only the chip can tell.
    if (auto twice = lineGivenTwice(identities, "line"))
        return std::move(*twice);
    return setting;
}

} // namespace meridan
