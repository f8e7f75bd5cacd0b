#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace meridan {

// The shape both hardware boards' settings share:
//
//   DEVICE,out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=WORD][,active-low][,out-active-low]
//   [,debounce=MS]
//
// the device, the two lamps' lines and the two switches' lines in any order, and options. bias,
// active-low (also written in-active-low) and debounce apply to the two inputs; out-active-low to
// the two outputs, for lamp drivers and relay modules that switch on when their input is low.
// Each board reads the words in its own terms (a chip and its lines, a serial port and its pins).

enum class Bias { AsIs, PullUp, PullDown, Disabled };

inline constexpr std::array<std::string_view, 4> kLineKeys = { "out0", "out1", "in0", "in1" };

struct LineWords
{
    std::string_view device; // empty where the first word is already a key (key=value)
    std::array<std::string_view, 4> lines; // out0, out1, in0, in1
    std::optional<std::string_view> bias;
    bool activeLow = false; // the inputs'
    bool outActiveLow = false;
    std::optional<std::string_view> debounce;
    std::optional<std::string_view> baud;
};

// Splits `text` (what follows "gpio:" or "firmata:") into its words, checking the shape alone: a
// device where the first word is not a key=value pair, each key once, none missing, none unknown,
// no empty part. `board` names the board in what is wrong ("GPIO", "Firmata"); `debounce` and
// `baud` tell whether it takes those options. What is wrong, in words a person can act on, when
// the shape is not right.
std::variant<LineWords, std::string> splitLineSetting(
        std::string_view text, std::string_view board, bool debounce, bool baud = false);

// The bias word: pull-up, pull-down or none; nullopt for any other.
std::optional<Bias> biasNamed(std::string_view word);

// The longest a switch's change must hold before it counts (debounce=MS).
inline constexpr std::uint32_t kLongestDebounceMs = 1000;
// The debounce word's milliseconds, 0 to kLongestDebounceMs; nullopt for any other; and what is
// wrong with one that is not.
std::optional<std::uint32_t> debounceNamed(std::string_view word);
std::string debounceRefusal(std::string_view word);

// The first of the four lines given twice, as "<noun> X is given for both out0 and in1", by
// what identifies a line on the board (an offset, a name, a pin); an identity left empty is
// compared with none.
std::optional<std::string> lineGivenTwice(
        const std::array<std::string, 4> &identities, std::string_view noun);

// The device of a setting as a path: a bare name that `isName` accepts goes under /dev; an absolute
// path is taken as it is, as long as it does not climb with "..". Nullopt for anything else.
std::optional<std::string> devicePath(std::string_view word, bool (*isName)(std::string_view));

// Quotes a part of the setting; it is printable ASCII by the time anything is quoted.
std::string quoted(std::string_view text);
// Items as a sentence lists them: "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string> &items);
// A whole number written in decimal digits alone.
std::optional<std::uint32_t> wholeNumber(std::string_view text);

} // namespace meridan
