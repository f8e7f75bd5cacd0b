#include "board/board_setting.h"

#include <utility>

namespace meridan {

namespace {

    // Each board: its setting's prefix, its accepted form, and how its words are read: the whole
    // setting, or what follows the prefix.
    template <class Setting, auto parse, bool whole = false> struct Kind
    {
        static constexpr std::string_view prefix = Setting::kPrefix;
        static constexpr bool readsWhole = whole;
        static constexpr std::string_view accepted = Setting::kAccepted;
        static BoardSetting read(std::string_view text)
        {
            auto read = parse(text);
            if (auto *setting = std::get_if<Setting>(&read))
                return std::move(*setting);
            return SettingError { std::get<std::string>(std::move(read)) };
        }
    };

    // The boards there are. A setting is read by the first whose prefix it starts with.
    template <class... Kinds> struct Table
    {
        static std::string accepted()
        {
            std::string text;
            ((text += (text.empty() ? "" : ", or ") + std::string(Kinds::accepted)), ...);
            return text;
        }
        static BoardSetting read(std::string_view text)
        {
            BoardSetting result = SettingError { "MERIDAN_BOARD is \"" + std::string(text)
                + "\", which is no board" };
            bool found = false;
            const auto tryKind = [&](auto kind) {
                using K = decltype(kind);
                if (found || !text.starts_with(K::prefix))
                    return;
                found = true;
                result = K::read(K::readsWhole ? text : text.substr(K::prefix.size()));
            };
            (tryKind(Kinds {}), ...);
            return result;
        }
    };

    using Boards = Table<Kind<SimulatedSetting, parseSimulatedSetting, true>,
            Kind<GpioSetting, parseGpioSetting>, Kind<FirmataSetting, parseFirmataSetting>>;

    SettingError wrong(std::string what)
    {
        return { std::move(what) + "; accepted: " + acceptedSettings() };
    }

} // namespace

std::string acceptedSettings()
{
    return Boards::accepted();
}

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
    BoardSetting setting = text.empty() ? SimulatedSetting {} : Boards::read(text);
    if (auto *error = std::get_if<SettingError>(&setting))
        return wrong(std::move(error->message));
    return setting;
}

} // namespace meridan
