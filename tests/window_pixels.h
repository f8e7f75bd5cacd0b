#pragma once

// What a person sees of the operator window's fixed colours, read from its pixels: the frame's
// inside, the caption's and the labels' black text on the frame colour, the button faces, the
// white lamp boxes and a light scroll bar. Shared by the widget tests (a grabbed image) and the
// real-window tests (the screen), so both judge the same pixels the same way.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace meridan::testing {

// A rectangle in the window, in logical pixels.
struct PixelRect
{
    int x, y, width, height;
    bool holds(int px, int py) const
    {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

// The controls' places at scale 1 (their design twips over 15).
inline const std::vector<std::pair<std::string, PixelRect>> kControlPlaces {
    { "Picture1", { 35, 42, 92, 50 } },
    { "Picture2", { 245, 42, 92, 50 } },
    { "LEFT", { 42, 119, 78, 43 } },
    { "OFF", { 147, 119, 78, 43 } },
    { "RIGHT", { 252, 119, 78, 43 } },
    { "HAZARD", { 126, 182, 120, 36 } },
    { "END", { 168, 231, 50, 29 } },
    { "Min", { 35, 294, 43, 22 } },
    { "HScroll1", { 77, 294, 232, 22 } },
    { "Max", { 308, 294, 43, 22 } },
    { "Set Blink Rate", { 77, 322, 232, 15 } },
};

constexpr std::uint32_t kFramePixel = 0xC0C0FF;
constexpr std::uint32_t kButtonPixel = 0xC0FFFF;
constexpr std::uint32_t kWhitePixel = 0xFFFFFF;

inline int darkestChannel(std::uint32_t rgb)
{
    return std::min({ int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF) });
}

// The faults seen in the window's pixels, one line each; none when every fixed colour is as
// designed. `pixel(x, y)` gives 0xRRGGBB at a logical point of the window's client area.
template <typename Pixel> std::vector<std::string> designColourFaults(const Pixel &pixel)
{
    std::vector<std::string> faults;
    const auto hex = [](std::uint32_t rgb) {
        char text[8];
        std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(rgb));
        return std::string(text);
    };
    // Built by appending: GCC 12's -Wrestrict takes a literal before a temporary string for an
    // overlap in the arm64 release build.
    const auto at = [](int x, int y) {
        std::string text("(");
        text += std::to_string(x);
        text += ", ";
        text += std::to_string(y);
        text += ')';
        return text;
    };
    const auto number = [](int value) { return std::to_string(value); };
    const auto place = [](const std::string &name) {
        return std::find_if(kControlPlaces.begin(), kControlPlaces.end(),
                [&name](const auto &entry) { return entry.first == name; })
                ->second;
    };

    // The frame's inside, on a grid, between its border and the controls.
    int wrongInside = 0;
    std::string firstWrong;
    for (int y = 28; y < 348; y += 4)
        for (int x = 4; x < 372; x += 4) {
            if (std::any_of(kControlPlaces.begin(), kControlPlaces.end(),
                        [x, y](const auto &entry) { return entry.second.holds(x, y); }))
                continue;
            if (const std::uint32_t seen = pixel(x, y); seen != kFramePixel && wrongInside++ == 0)
                firstWrong = at(x, y) + " is " + hex(seen);
        }
    if (wrongInside > 0)
        faults.push_back(std::string("the frame's inside is not C0C0FF at ") + number(wrongInside)
                + " points, first " + firstWrong);

    // The caption: black text on the frame colour.
    int captionDarkest = 255;
    for (int y = 2; y < 22; ++y)
        for (int x = 0; x < 180; ++x)
            captionDarkest = std::min(captionDarkest, darkestChannel(pixel(x, y)));
    if (captionDarkest > 40)
        faults.push_back(std::string("the caption's text is not black (darkest ")
                + number(captionDarkest) + ")");
    if (const std::uint32_t seen = pixel(300, 10); seen != kFramePixel)
        faults.push_back(std::string("the caption's row is ") + hex(seen) + " beside the caption");

    // Each label: the frame colour at its ends, and black text between them.
    for (const std::string name : { "Min", "Max", "Set Blink Rate" }) {
        const PixelRect r = place(name);
        int darkest = 255;
        for (int y = r.y; y < r.y + r.height; ++y) {
            for (const int x : { r.x + 1, r.x + r.width - 2 })
                if (const std::uint32_t seen = pixel(x, y); seen != kFramePixel) {
                    faults.push_back(std::string("label \"") + name + "\" is " + hex(seen) + " at "
                            + at(x, y));
                    y = r.y + r.height;
                    break;
                }
        }
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                darkest = std::min(darkest, darkestChannel(pixel(x, y)));
        if (darkest > 40)
            faults.push_back(std::string("label \"") + name + "\" has no black text (darkest "
                    + number(darkest) + ")");
    }

    // The buttons' faces beside their text; the lamp boxes white inside their borders.
    for (const std::string name : { "LEFT", "OFF", "RIGHT", "HAZARD", "END" }) {
        const PixelRect r = place(name);
        if (const std::uint32_t seen = pixel(r.x + 4, r.y + r.height / 2); seen != kButtonPixel)
            faults.push_back(std::string("button ") + name + "'s face is " + hex(seen));
    }
    for (const std::string name : { "Picture1", "Picture2" }) {
        const PixelRect r = place(name);
        if (const std::uint32_t seen = pixel(r.x + r.width / 2, r.y + r.height / 2);
                seen != kWhitePixel)
            faults.push_back(name + " is " + hex(seen));
    }

    // The scroll bar light, as on a desktop without a theme: most of it lighter than 200.
    const PixelRect bar = place("HScroll1");
    int light = 0, all = 0;
    for (int y = bar.y + 2; y < bar.y + bar.height - 2; ++y)
        for (int x = bar.x + 2; x < bar.x + bar.width - 2; ++x, ++all)
            light += darkestChannel(pixel(x, y)) > 200 ? 1 : 0;
    if (light * 10 < all * 9)
        faults.push_back(std::string("the scroll bar is not light: ") + number(light) + " of "
                + number(all) + " pixels are");
    return faults;
}

} // namespace meridan::testing
