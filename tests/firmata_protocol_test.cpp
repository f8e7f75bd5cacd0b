#include "board/firmata/firmata_protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace meridan::firmata {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;

    using Bytes = std::vector<std::uint8_t>;

    Bytes bytesOf(std::initializer_list<int> values)
    {
        Bytes bytes;
        for (const int value : values)
            bytes.push_back(static_cast<std::uint8_t>(value));
        return bytes;
    }

    // A text as Firmata sends it, each character in two 7-bit bytes.
    Bytes paired(const std::string &text)
    {
        Bytes bytes;
        for (const char c : text) {
            bytes.push_back(static_cast<std::uint8_t>(c & 0x7F));
            bytes.push_back(static_cast<std::uint8_t>((static_cast<unsigned char>(c) >> 7) & 1));
        }
        return bytes;
    }

    Bytes operator+(Bytes a, const Bytes &b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    struct Heard
    {
        std::vector<Message> messages;
        std::size_t stray = 0;
        std::string strayStart;
    };

    Heard hear(const Bytes &bytes, std::size_t piece)
    {
        Parser parser;
        Heard heard;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            parser.feed(bytes.data() + at, std::min(piece, bytes.size() - at),
                    [&heard](const Message &message) { heard.messages.push_back(message); });
        heard.stray = parser.strayBytes();
        heard.strayStart = parser.strayStart();
        return heard;
    }

    // StandardFirmata 2.4 on an Uno: D2 can be an input, an output or a servo; 2.5 adds the
    // pull-up mode.
    const Bytes kCapability24 =
            bytesOf({ 0xF0, 0x6C, 0x7F, 0x7F, 0x00, 0x01, 0x01, 0x01, 0x04, 0x0E, 0x7F, 0xF7 });
    const Bytes kCapability25 = bytesOf(
            { 0xF0, 0x6C, 0x7F, 0x7F, 0x00, 0x01, 0x01, 0x01, 0x04, 0x0E, 0x0B, 0x01, 0x7F, 0xF7 });

    struct Row
    {
        const char *what;
        Bytes bytes;
        std::vector<Message> messages;
        std::size_t stray;
    };

    // Every row is read whole and one byte at a time, and the two must agree.
    TEST(FirmataProtocol, TheBoardsMessagesAreReadHoweverTheyAreSplit)
    {
        const Row table[] = {
            { "version report", bytesOf({ 0xF9, 0x02, 0x04 }), { VersionReport { 2, 4 } }, 0 },
            { "firmware name",
                    bytesOf({ 0xF0, 0x79, 0x02, 0x04 }) + paired("StandardFirmata.ino")
                            + bytesOf({ 0xF7 }),
                    { FirmwareReport { 2, 4, "StandardFirmata.ino" } }, 0 },
            { "a digital report, bits 0 to 13", bytesOf({ 0x91, 0x05, 0x01 }),
                    { DigitalReport { 1, 0x85 } }, 0 },
            { "a report for a port no switch is on", bytesOf({ 0x9F, 0x7F, 0x7F }),
                    { DigitalReport { 15, 0x3FFF } }, 0 },
            { "capabilities, Firmata 2.4", kCapability24,
                    { CapabilityReport { { {}, {}, { kInput, kOutput, kServo } } } }, 0 },
            { "capabilities, Firmata 2.5", kCapability25,
                    { CapabilityReport { { {}, {}, { kInput, kOutput, kServo, kPullUp } } } }, 0 },
            { "analog mapping", bytesOf({ 0xF0, 0x6A, 0x7F, 0x7F, 0x00, 0x01, 0xF7 }),
                    { AnalogMappingReport { { 0x7F, 0x7F, 0, 1 } } }, 0 },
            { "a pin's state: D13 an output driven high",
                    bytesOf({ 0xF0, 0x6E, 0x0D, 0x01, 0x01, 0xF7 }),
                    { PinStateReport { 13, kOutput, 1 } }, 0 },
            { "a pin's state with a state of several bytes (a PWM value)",
                    bytesOf({ 0xF0, 0x6E, 0x03, 0x03, 0x7F, 0x01, 0xF7 }),
                    { PinStateReport { 3, kPwm, 0x7F } }, 0 },
            { "a pin's state cut short is passed over", bytesOf({ 0xF0, 0x6E, 0x0D, 0x01, 0xF7 }),
                    {}, 0 },
            { "a text from the firmware",
                    bytesOf({ 0xF0, 0x71 }) + paired("Unknown pin mode") + bytesOf({ 0xF7 }),
                    { StringData { "Unknown pin mode" } }, 0 },
            { "a sysex nobody here knows is passed over",
                    bytesOf({ 0xF0, 0x42, 0x01, 0x02, 0xF7, 0xF9, 0x02, 0x05 }),
                    { VersionReport { 2, 5 } }, 0 },
            { "analog values are passed over", bytesOf({ 0xE0, 0x10, 0x01, 0x90, 0x04, 0x00 }),
                    { DigitalReport { 0, 4 } }, 0 },
            { "text before the version report, as a sketch that is not Firmata sends",
                    bytesOf({ 'o', 'k', '\r', '\n', 0xF9, 0x02, 0x04 }), { VersionReport { 2, 4 } },
                    4 },
            { "a message cut short by the next", bytesOf({ 0x90, 0x05, 0xF9, 0x02, 0x05 }),
                    { VersionReport { 2, 5 } }, 2 },
            { "a sysex cut short by a status byte", bytesOf({ 0xF0, 0x6C, 0x7F, 0x91, 0x01, 0x00 }),
                    { DigitalReport { 1, 1 } }, 3 },
            { "a data byte after a complete message", bytesOf({ 0xF9, 0x02, 0x04, 0x05 }),
                    { VersionReport { 2, 4 } }, 1 },
        };
        for (const Row &row : table) {
            SCOPED_TRACE(row.what);
            for (const std::size_t piece : { row.bytes.size(), std::size_t { 1 } }) {
                SCOPED_TRACE(piece == 1 ? "byte by byte" : "whole");
                const Heard heard = hear(row.bytes, piece);
                EXPECT_EQ(heard.messages, row.messages);
                EXPECT_EQ(heard.stray, row.stray);
            }
        }
    }

    TEST(FirmataProtocol, StrayBytesAreKeptPrintableForTheErrorThatSaysWhatWasHeard)
    {
        const Heard heard = hear(bytesOf({ 'H', 'i', '\r', '\n', 0x00, 0xFE }), 2);
        EXPECT_EQ(heard.stray, 6u);
        EXPECT_EQ(heard.strayStart, "Hi\\x0D\\x0A\\x00\\xFE");
        const Heard long_ = hear(Bytes(100, 'x'), 100);
        EXPECT_EQ(long_.stray, 100u);
        EXPECT_EQ(long_.strayStart, std::string(24, 'x'));
    }

    TEST(FirmataProtocol, TheHostsMessagesAreWrittenAsTheFirmwareReadsThem)
    {
        EXPECT_THAT(reportVersion(), ElementsAre(0xF9));
        EXPECT_THAT(capabilityQuery(), ElementsAre(0xF0, 0x6B, 0xF7));
        EXPECT_THAT(analogMappingQuery(), ElementsAre(0xF0, 0x69, 0xF7));
        EXPECT_THAT(setPinMode(13, kOutput), ElementsAre(0xF4, 0x0D, 0x01));
        EXPECT_THAT(setPinMode(2, kPullUp), ElementsAre(0xF4, 0x02, 0x0B));
        // D13 lit beside D8's pull-up: port 1, bits 5 and 0; bit 7 goes in the second byte.
        EXPECT_THAT(digitalMessage(1, 0x21), ElementsAre(0x91, 0x21, 0x00));
        EXPECT_THAT(digitalMessage(0, 0x84), ElementsAre(0x90, 0x04, 0x01));
        EXPECT_THAT(reportDigital(0, true), ElementsAre(0xD0, 0x01));
        EXPECT_THAT(reportDigital(2, false), ElementsAre(0xD2, 0x00));
        EXPECT_THAT(pinStateQuery(13), ElementsAre(0xF0, 0x6D, 0x0D, 0xF7));
        EXPECT_THAT(samplingInterval(1), ElementsAre(0xF0, 0x7A, 0x01, 0x00, 0xF7));
        EXPECT_THAT(samplingInterval(1000), ElementsAre(0xF0, 0x7A, 0x68, 0x07, 0xF7));
        EXPECT_EQ(modeName(kPullUp), "input with pull-up");
        EXPECT_EQ(modeName(0x7E), "mode 126");
    }

} // namespace
} // namespace meridan::firmata
