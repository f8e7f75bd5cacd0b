#include "board/firmata/firmata_session.h"
#include "tests/virtual_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;
    using ::testing::HasSubstr;
    using Bytes = std::vector<std::uint8_t>;
    using State = FirmataSession::State;

    constexpr std::uint8_t kPins = 20; // an Uno: D0 to D19, A0 to A5 on D14 to D19

    // A board running Firmata, as a script of what it answers: the session's link. What it sends
    // waits until the test delivers it, in pieces of `split` bytes (0: as it was sent).
    class ScriptedBoard : public FirmataLink
    {
    public:
        int minor = 5; // 2.4 offers no pull-up mode, 2.5 does
        std::int32_t baud = 57600;
        std::size_t split = 0;
        bool answers = true; // false: hears everything and says nothing
        int resetsWhenAskedForReports = 0; // starts again instead of answering, this many times
        std::optional<int> failFromWrite; // writes from this one on fail

        std::int32_t lineSpeed = 0;
        std::array<std::uint8_t, kPins> modes {};
        std::array<std::uint8_t, 3> ports {}; // what the host last wrote to each port
        std::array<bool, kPins> levels {}; // the switches' pins, as the board reads them
        std::vector<Bytes> written;
        std::deque<std::uint8_t> toHost;

        bool write(const Bytes &bytes) override
        {
            if (failFromWrite && static_cast<int>(written.size()) + 1 >= *failFromWrite)
                return false;
            written.push_back(bytes);
            if (lineSpeed != baud) {
                // At the wrong speed the board hears noise and answers nothing the host can read.
                return true;
            }
            hear(bytes);
            return true;
        }
        std::string failure() const override { return "Input/output error"; }
        void setSpeed(std::int32_t speed) override { lineSpeed = speed; }

        // The firmware starting: its version report and its name.
        void start()
        {
            modes.fill(firmata::kOutput);
            ports = {};
            reporting = {};
            say({ 0xF9, 2, static_cast<std::uint8_t>(minor) });
            say({ 0xF0, 0x79, 2, static_cast<std::uint8_t>(minor), 'S', 0, 0xF7 });
        }
        // The other end hears bytes as a board at another speed sends them: not Firmata.
        void garble() { say({ 0xFE, 0x80, 0xE6, 0x98, 0xFF, 0x86 }); }
        void setSwitch(std::uint8_t pin, bool high)
        {
            levels[pin] = high;
            if (reporting[pin / 8])
                reportPort(static_cast<std::uint8_t>(pin / 8));
        }
        void reportPort(std::uint8_t port)
        {
            unsigned bits = 0;
            for (unsigned b = 0; b < 8; ++b)
                if (port * 8u + b < kPins && levels[port * 8u + b])
                    bits |= 1u << b;
            say({ static_cast<std::uint8_t>(0x90 | port), static_cast<std::uint8_t>(bits & 0x7F),
                    static_cast<std::uint8_t>(bits >> 7) });
        }
        void say(const Bytes &bytes) { toHost.insert(toHost.end(), bytes.begin(), bytes.end()); }

        // Hands what the board has said to the session, piece by piece.
        void deliverTo(FirmataSession &session)
        {
            while (!toHost.empty()) {
                const std::size_t size =
                        split == 0 ? toHost.size() : std::min(split, toHost.size());
                const Bytes piece(toHost.begin(), toHost.begin() + static_cast<long>(size));
                toHost.erase(toHost.begin(), toHost.begin() + static_cast<long>(size));
                session.heard(piece.data(), piece.size());
            }
        }

        bool wrote(const Bytes &bytes) const
        {
            return std::find(written.begin(), written.end(), bytes) != written.end();
        }
        // Whether output `pin` is driven high.
        bool high(std::uint8_t pin) const { return (ports[pin / 8] >> (pin % 8)) & 1; }

    private:
        void hear(const Bytes &m)
        {
            if (!answers)
                return;
            if (m[0] == 0xF9) {
                say({ 0xF9, 2, static_cast<std::uint8_t>(minor) });
            } else if (m.size() >= 2 && m[0] == 0xF0 && m[1] == 0x6B) {
                Bytes report { 0xF0, 0x6C };
                for (std::uint8_t pin = 0; pin < kPins; ++pin) {
                    if (pin >= 2) {
                        report.insert(report.end(), { firmata::kInput, 1, firmata::kOutput, 1 });
                        if (minor >= 5)
                            report.insert(report.end(), { firmata::kPullUp, 1 });
                    }
                    report.push_back(0x7F);
                }
                report.push_back(0xF7);
                say(report);
            } else if (m.size() >= 2 && m[0] == 0xF0 && m[1] == 0x69) {
                Bytes report { 0xF0, 0x6A };
                for (std::uint8_t pin = 0; pin < kPins; ++pin)
                    report.push_back(pin >= 14 ? static_cast<std::uint8_t>(pin - 14) : 0x7F);
                report.push_back(0xF7);
                say(report);
            } else if (m.size() >= 3 && m[0] == 0xF0 && m[1] == 0x6D) {
                say({ 0xF0, 0x6E, m[2], modes[m[2]], 0, 0xF7 });
            } else if (m[0] == 0xF4) {
                modes[m[1]] = m[2];
            } else if ((m[0] & 0xF0) == 0x90) {
                ports[m[0] & 0x0F] = static_cast<std::uint8_t>(m[1] | (m[2] << 7));
            } else if ((m[0] & 0xF0) == 0xD0 && resetsWhenAskedForReports > 0) {
                --resetsWhenAskedForReports;
                start(); // the pins' modes and the reporting forgotten
            } else if ((m[0] & 0xF0) == 0xD0) {
                reporting[m[0] & 0x0F] = m[1] != 0;
                if (m[1] != 0)
                    reportPort(m[0] & 0x0F);
            }
        }

        std::array<bool, 3> reporting {};
    };

    FirmataSetting uno()
    {
        FirmataSetting setting;
        setting.port = "/dev/ttyACM0";
        setting.pins = { FirmataPin { false, 13 }, FirmataPin { false, 12 },
            FirmataPin { false, 2 }, FirmataPin { false, 3 } };
        return setting;
    }

    // A session on a scripted board, under virtual time; what it told, in order.
    struct Conversation
    {
        explicit Conversation(FirmataSetting chosen = uno()) : setting(std::move(chosen)) {}

        // Runs for `span` of virtual time: the board's words delivered as soon as said, and the
        // session's moments kept, as the event loop would.
        void run(Duration span)
        {
            const TimePoint end = clock.now() + span;
            for (;;) {
                board.deliverTo(session);
                const auto next = session.nextDeadline();
                if (!next || *next > end)
                    break;
                clock.stall(std::max(Duration(0), *next - clock.now()));
                session.tick();
            }
            clock.stall(std::max(Duration(0), end - clock.now()));
        }
        void open(Duration span = 10s)
        {
            session.open();
            run(span);
        }
        // Opens as a board that resets when its port opens: it starts as the session listens.
        void openStarting()
        {
            session.open();
            board.start();
            run(10s);
        }

        FirmataSetting setting;
        VirtualClock clock;
        ScriptedBoard board;
        std::vector<std::string> lost;
        std::optional<TimePoint> lostAt;
        std::vector<std::pair<std::int16_t, Boolean>> changes;
        FirmataSession session { setting, board, clock,
            { [this](std::int16_t input, Boolean state) { changes.emplace_back(input, state); },
                    [this](const std::string &cause) {
                        lost.push_back(cause);
                        lostAt = clock.now();
                    } } };
    };

    // How a board comes up, row by row; each must end set up, lamps dark and switches read.
    struct OpeningCase
    {
        const char *name;
        int minor;
        std::size_t split;
        bool pullUp;
        // Done to the board when the session has opened its port, before anything else.
        void (*before)(ScriptedBoard &board);
        // Starts again once, instead of answering the request for the switches' reports.
        bool resetAfterSetUp;
    };

    class Opening : public ::testing::TestWithParam<OpeningCase>
    {
    };

    TEST_P(Opening, EndsWithTheLampsDarkAndTheSwitchesRead)
    {
        const OpeningCase &row = GetParam();
        FirmataSetting setting = uno();
        if (row.pullUp) {
            setting.bias = Bias::PullUp;
            setting.activeLow = true;
        }
        Conversation talk(setting);
        talk.board.minor = row.minor;
        talk.board.split = row.split;
        talk.board.levels[2] = true; // the left switch's pin high: open, with the pull-up
        talk.session.open();
        if (row.before)
            row.before(talk.board);
        talk.board.resetsWhenAskedForReports = row.resetAfterSetUp ? 1 : 0;
        talk.board.start();
        talk.run(10s);

        ASSERT_EQ(talk.session.state(), State::Running) << talk.session.refusal();
        EXPECT_EQ(talk.board.modes[13], firmata::kOutput);
        EXPECT_EQ(talk.board.modes[12], firmata::kOutput);
        EXPECT_FALSE(talk.board.high(13));
        EXPECT_FALSE(talk.board.high(12));
        const std::uint8_t inputMode =
                row.pullUp && row.minor >= 5 ? firmata::kPullUp : firmata::kInput;
        EXPECT_EQ(talk.board.modes[2], inputMode);
        EXPECT_EQ(talk.board.modes[3], inputMode);
        // Firmata 2.4's pull-up: a 1 written to the input's pin, kept by every later write.
        EXPECT_EQ(talk.board.high(2), row.pullUp);
        EXPECT_EQ(talk.session.input(0), row.pullUp ? kFalse : kTrue);
        EXPECT_EQ(talk.session.input(1), row.pullUp ? kTrue : kFalse);
        EXPECT_TRUE(talk.lost.empty());

        talk.session.setOutput(0, true);
        EXPECT_TRUE(talk.board.high(13));
        EXPECT_EQ(talk.board.high(2), row.pullUp) << "the pull-up kept";
        EXPECT_TRUE(talk.session.anyLit());
        talk.session.setOutput(0, false);
        EXPECT_FALSE(talk.session.anyLit());
    }

    INSTANTIATE_TEST_SUITE_P(Rows, Opening,
            ::testing::Values(OpeningCase { "Firmata25", 5, 0, false, nullptr, false },
                    OpeningCase { "Firmata25PullUp", 5, 0, true, nullptr, false },
                    OpeningCase { "Firmata24PullUpByAOne", 4, 0, true, nullptr, false },
                    OpeningCase { "AReportBeforeTheVersion", 5, 0, false,
                            [](ScriptedBoard &board) {
                                // A previous host's reporting: the left switch closed, then.
                                board.levels[2] = false;
                                board.reportPort(0);
                                board.levels[2] = true;
                            },
                            false },
                    OpeningCase { "AResetOnceSetUp", 5, 0, false, nullptr, true },
                    OpeningCase { "BytesOneByOne", 5, 1, true, nullptr, false },
                    OpeningCase { "BytesInTwos", 4, 2, false, nullptr, true },
                    OpeningCase { "BytesInSevens", 5, 7, true, nullptr, false }),
            [](const auto &row) { return std::string(row.param.name); });

    TEST(FirmataSession, NothingIsWrittenToALampsPinBeforeItsDarkLevel)
    {
        FirmataSetting setting = uno();
        setting.outActiveLow = true; // a relay module: dark is high
        Conversation talk(setting);
        talk.session.open();
        talk.board.start();
        talk.board.modes[13] = firmata::kInput; // a pin that is not yet an output
        talk.run(10s);
        ASSERT_EQ(talk.session.state(), State::Running);
        // The dark level goes before the pin becomes an output: it never drives low.
        const auto mode = std::find(talk.board.written.begin(), talk.board.written.end(),
                Bytes { 0xF4, 13, firmata::kOutput });
        ASSERT_NE(mode, talk.board.written.end());
        const auto firstPortWrite = std::find_if(talk.board.written.begin(),
                talk.board.written.end(), [](const Bytes &m) { return m[0] == 0x91; });
        EXPECT_LT(firstPortWrite, mode);
        EXPECT_EQ((*firstPortWrite)[1] & 0x20, 0x20) << "D13 high in the first write";
        EXPECT_FALSE(talk.board.wrote({ 0xF4, 12, firmata::kOutput })) << "already an output";
        EXPECT_TRUE(talk.board.high(13));
        talk.session.setOutput(0, true);
        EXPECT_FALSE(talk.board.high(13));
    }

    // Ways an opening fails, each with what it says.
    TEST(FirmataSession, RefusesOrLosesTheBoardSayingWhy)
    {
        {
            SCOPED_TRACE("a write failing while it is set up");
            Conversation talk;
            talk.board.failFromWrite = 4;
            talk.openStarting();
            EXPECT_EQ(talk.session.state(), State::Gone);
            EXPECT_THAT(talk.lost,
                    ::testing::ElementsAre(HasSubstr("writing to it failed (Input/output error)")));
        }
        {
            SCOPED_TRACE("the board gone while it is set up");
            Conversation talk;
            talk.session.open();
            talk.board.start();
            talk.board.deliverTo(talk.session); // the version: the pins are asked for next
            talk.session.linkFailed("the board was unplugged or reset (its port hung up)");
            talk.session.linkFailed("again");
            talk.run(10s);
            EXPECT_EQ(talk.session.state(), State::Gone);
            EXPECT_THAT(talk.lost, ::testing::ElementsAre(HasSubstr("its port hung up")));
            EXPECT_EQ(talk.session.nextDeadline(), std::nullopt) << "nothing more to wait for";
        }
        {
            SCOPED_TRACE("a pin the board does not have");
            FirmataSetting setting = uno();
            setting.pins[3] = FirmataPin { true, 6 };
            Conversation talk(setting);
            talk.openStarting();
            EXPECT_EQ(talk.session.state(), State::Refused);
            EXPECT_THAT(talk.session.refusal(),
                    HasSubstr("there is no A6 on the board on /dev/ttyACM0, whose analog pins are "
                              "A0 to A5"));
        }
        {
            SCOPED_TRACE("silence at both speeds");
            Conversation talk;
            talk.board.answers = false;
            talk.open(5999ms);
            EXPECT_EQ(talk.session.state(), State::Opening);
            talk.run(1ms);
            EXPECT_EQ(talk.session.state(), State::Refused) << "refused at the deadline";
            EXPECT_THAT(talk.session.refusal(),
                    HasSubstr("no Firmata answered on /dev/ttyACM0 within 6 s: at 57600 baud heard "
                              "nothing, at 115200 baud heard nothing"));
        }
        {
            SCOPED_TRACE("a board that keeps starting again");
            Conversation talk;
            talk.board.resetsWhenAskedForReports = FirmataSession::kMostRestarts + 1;
            talk.openStarting();
            EXPECT_EQ(talk.session.state(), State::Refused);
            EXPECT_THAT(talk.session.refusal(), HasSubstr("started again 4 times"));
        }
    }

    TEST(FirmataSession, FindsABoardAtTheOtherSpeed)
    {
        {
            SCOPED_TRACE("one that starts at 115200: heard as noise at 57600");
            Conversation talk;
            talk.board.baud = 115200;
            talk.session.open();
            talk.board.garble();
            talk.run(10s);
            ASSERT_EQ(talk.session.state(), State::Running);
            EXPECT_EQ(talk.board.lineSpeed, 115200);
            EXPECT_LT(talk.clock.now() - at(0), 11s);
        }
        {
            SCOPED_TRACE("one that kept running at 115200: silent, asked at 57600 first");
            Conversation talk;
            talk.board.baud = 115200;
            talk.session.open();
            talk.run(2600ms);
            EXPECT_EQ(talk.board.written.size(), 1u);
            EXPECT_EQ(talk.board.lineSpeed, 57600) << "asked at 57600 first";
            talk.run(10s);
            ASSERT_EQ(talk.session.state(), State::Running);
            EXPECT_EQ(talk.board.lineSpeed, 115200);
        }
    }

    TEST(FirmataSession, ASwitchCountsOnceItHasHeldForTheDebounceTime)
    {
        FirmataSetting setting = uno();
        setting.debounceMs = 20;
        Conversation talk(setting);
        talk.openStarting();
        ASSERT_EQ(talk.session.state(), State::Running);
        for (int bounce = 0; bounce < 3; ++bounce) {
            talk.board.setSwitch(2, true);
            talk.run(5ms);
            talk.board.setSwitch(2, false);
            talk.run(5ms);
        }
        talk.board.setSwitch(2, true);
        talk.run(19ms);
        EXPECT_TRUE(talk.changes.empty());
        talk.run(1ms);
        EXPECT_THAT(talk.changes,
                ::testing::ElementsAre(std::pair<std::int16_t, Boolean> { 0, kTrue }));
        EXPECT_EQ(talk.session.input(0), kTrue);
    }

    TEST(FirmataSession, ABoardOnTheNetworkThatStopsAnsweringIsGone)
    {
        FirmataSetting setting = uno();
        setting.port.clear();
        setting.host = "192.0.2.7";
        setting.tcpPort = 3030;
        Conversation talk(setting);
        talk.board.baud = 0; // a connection has no speed
        talk.open(); // asked at once: a board on the network says nothing first
        ASSERT_EQ(talk.session.state(), State::Running) << talk.session.refusal();
        talk.run(5s);
        EXPECT_TRUE(talk.lost.empty()) << "answering every question";
        const TimePoint silentFrom = talk.clock.now();
        talk.board.answers = false;
        talk.run(5s);
        ASSERT_THAT(talk.lost, ::testing::ElementsAre(HasSubstr("it stopped answering")));
        EXPECT_EQ(talk.session.state(), State::Gone);
        const auto writes = talk.board.written.size();
        talk.session.setOutput(0, true);
        EXPECT_EQ(talk.board.written.size(), writes) << "nothing written once gone";
        ASSERT_TRUE(talk.lostAt);
        EXPECT_GE(*talk.lostAt - silentFrom, FirmataSession::kAnswerDeadline);
        EXPECT_LE(*talk.lostAt - silentFrom, 2500ms);
    }

    TEST(FirmataSession, ASerialBoardThatStartsAgainWhileRunningIsGone)
    {
        Conversation talk;
        talk.openStarting();
        ASSERT_EQ(talk.session.state(), State::Running);
        talk.board.start();
        talk.run(1ms);
        EXPECT_THAT(talk.lost, ::testing::ElementsAre(HasSubstr("the board reset")));
    }

} // namespace
} // namespace meridan::testing
