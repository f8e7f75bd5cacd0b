#include "board/line_setting.h"

#include <charconv>
#include <vector>

namespace meridan {

std::string quoted(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    result += '"';
    result += text;
    result += '"';
    return result;
}

std::string listed(const std::vector<std::string> &items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

std::optional<std::uint32_t> wholeNumber(std::string_view text)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc {} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::string> devicePath(std::string_view word, bool (*isName)(std::string_view))
{
    if (isName(word))
        return "/dev/" + std::string(word);
    if (word.starts_with('/') && word.find("/../") == std::string_view::npos
            && !word.ends_with("/.."))
        return std::string(word);
    return std::nullopt;
}

std::optional<Bias> biasNamed(std::string_view word)
{
    if (word == "pull-up")
        return Bias::PullUp;
    if (word == "pull-down")
        return Bias::PullDown;
    if (word == "none")
        return Bias::Disabled;
    return std::nullopt;
}

std::optional<std::uint32_t> debounceNamed(std::string_view word)
{
    const auto ms = wholeNumber(word);
    if (!ms || *ms > kLongestDebounceMs)
        return std::nullopt;
    return ms;
}

std::string debounceRefusal(std::string_view word)
{
    return "debounce is a whole number of milliseconds from 0 to "
            + std::to_string(kLongestDebounceMs) + ", not " + quoted(word);
}

std::variant<LineWords, std::string> splitLineSetting(
        std::string_view text, std::string_view board, bool debounce, bool baud)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    LineWords words;
    // Where the first word is a key=value pair, the setting names no device (a board that finds
    // its device by itself).
    const bool deviceGiven = parts.front().find('=') == std::string_view::npos;
    if (deviceGiven)
        words.device = parts.front();
    std::array<bool, 4> given {};
    bool biasGiven = false, polarityGiven = false, outPolarityGiven = false, debounceGiven = false,
         baudGiven = false;
    const std::string option = "the " + std::string(board) + " option ";

    for (std::size_t i = deviceGiven ? 1 : 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        if (part.empty())
            return "MERIDAN_BOARD has an empty part between commas (part " + std::to_string(i + 1)
                    + ")";
        const std::size_t equals = part.find('=');
        const std::string_view key = part.substr(0, equals);
        const std::string_view value =
                equals == std::string_view::npos ? std::string_view {} : part.substr(equals + 1);
        const auto twice = [&](bool &seen) {
            const bool again = seen;
            seen = true;
            return again;
        };
        bool line = false;
        for (std::size_t l = 0; l < kLineKeys.size(); ++l) {
            if (key != kLineKeys[l])
                continue;
            line = true;
            if (twice(given[l]))
                return option + quoted(key) + " is given twice";
            words.lines[l] = value;
        }
        if (line)
            continue;
        if (key == "bias") {
            if (twice(biasGiven))
                return option + quoted(key) + " is given twice";
            words.bias = value;
        } else if (part == "active-low" || part == "in-active-low") {
            if (twice(polarityGiven))
                return "the inputs' polarity (active-low, or in-active-low) is given twice";
            words.activeLow = true;
        } else if (part == "out-active-low") {
            if (twice(outPolarityGiven))
                return option + quoted(key) + " is given twice";
            words.outActiveLow = true;
        } else if (key == "debounce" && debounce) {
            if (twice(debounceGiven))
                return option + quoted(key) + " is given twice";
            words.debounce = value;
        } else if (key == "baud" && baud) {
            if (twice(baudGiven))
                return option + quoted(key) + " is given twice";
            words.baud = value;
        } else {
            return quoted(part) + " is not a " + std::string(board) + " option";
        }
    }
    for (std::size_t l = 0; l < kLineKeys.size(); ++l)
        if (!given[l])
            return "the " + std::string(board) + " board needs out0, out1, in0 and in1, and "
                    + std::string(kLineKeys[l]) + " is missing";
    return words;
}

std::optional<std::string> lineGivenTwice(
        const std::array<std::string, 4> &identities, std::string_view noun)
{
    for (std::size_t a = 0; a < identities.size(); ++a)
        for (std::size_t b = a + 1; b < identities.size(); ++b)
            if (!identities[a].empty() && identities[a] == identities[b])
                return std::string(noun) + " " + identities[a] + " is given for both "
                        + std::string(kLineKeys[a]) + " and " + std::string(kLineKeys[b]);
    return std::nullopt;
}

} // namespace meridan
