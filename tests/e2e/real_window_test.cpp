// Starts the real meridan binary on an X display (Xvfb in the test run), clicks it with xdotool
// and watches its lamp boxes on screen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// After GoogleTest: X11's headers define macros (None, Bool) that its own would trip over.
#include "tests/support/real_window.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace meridan::e2e {
namespace {

    class RealWindow : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_EQ(screen.problem(), "");
            ASSERT_NE(std::getenv("MERIDAN_BINARY"), nullptr);
        }

        // What a button's face shows between its border and its text.
        struct Face
        {
            bool ringIsDesignColour = false; // every pixel around the text is RGB(192,255,255)
            int textRows = 0; // height of the box holding every other pixel
            int darkest = 255; // the text's darkest channel value
            std::uint32_t border = 0; // the pixel at the middle of the left border
        };
        Face face(const Window &window, Place place)
        {
            constexpr int kBorder = 2; // the widest border the buttons draw (focus, pressed)
            const Pixels pixels = screen.grab(window, place);
            Face result;
            if (pixels.rgb.empty())
                return result;
            result.border = pixels.at(0, place.height / 2);
            int left = place.width, top = place.height, right = -1, bottom = -1;
            for (int y = kBorder; y < place.height - kBorder; ++y)
                for (int x = kBorder; x < place.width - kBorder; ++x) {
                    const std::uint32_t pixel = pixels.at(x, y);
                    if (pixel == kButtonFace)
                        continue;
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                    const int red = static_cast<int>(pixel >> 16) & 0xFF;
                    result.darkest = std::min(result.darkest, red);
                }
            // The text sits inside the face with face colour all round it; a shaded face (a style's
            // gradient) reaches the border.
            result.ringIsDesignColour = right < 0
                    || (left > kBorder && top > kBorder && right < place.width - kBorder - 1
                            && bottom < place.height - kBorder - 1);
            result.textRows = right < 0 ? 0 : bottom - top + 1;
            return result;
        }

        // Checks that each button's face is its design colour all round its text, with black text
        // when it is enabled and grey text when it is disabled.
        void expectFaces(
                const Window &panel, const std::vector<std::pair<const char *, bool>> &buttons)
        {
            for (const auto &[name, enabled] : buttons) {
                SCOPED_TRACE(std::string(name) + (enabled ? " enabled" : " disabled"));
                const Face seen = face(panel, kButtons.at(name));
                EXPECT_TRUE(seen.ringIsDesignColour)
                        << "the face is not RGB(192,255,255) everywhere between border and text";
                EXPECT_GT(seen.textRows, 5) << "no text on the face";
                EXPECT_LT(seen.textRows, kButtons.at(name).height / 2)
                        << "more than text on the face";
                if (enabled)
                    EXPECT_LT(seen.darkest, 40) << "the text is not black";
                else
                    EXPECT_TRUE(seen.darkest > 100 && seen.darkest < 160) << "the text is not grey";
            }
        }

        X11Screen screen;

        // The buttons' places in the window, in logical pixels, and their design colour.
        inline static const std::map<std::string, Place> kButtons {
            { "LEFT", { 42, 119, 78, 43 } },
            { "OFF", { 147, 119, 78, 43 } },
            { "RIGHT", { 252, 119, 78, 43 } },
            { "HAZARD", { 126, 182, 120, 36 } },
            { "END", { 168, 231, 50, 29 } },
        };
        static constexpr std::uint32_t kButtonFace = 0xC0FFFF;
    };

    // The same checks on X11 and on Wayland: the panel as it starts, its blinking, its ends.
    class OnScreen : public ::testing::TestWithParam<std::string>
    {
    protected:
        void SetUp() override
        {
            ASSERT_NE(std::getenv("MERIDAN_BINARY"), nullptr);
            if (GetParam() == "Wayland") {
                if (std::getenv("MERIDAN_WAYLAND_POINTER") == nullptr)
                    GTEST_SKIP() << "no Wayland pointer helper in this build";
                screen = std::make_unique<WaylandScreen>(scratch.path);
            } else {
                screen = std::make_unique<X11Screen>();
            }
            ASSERT_EQ(screen->problem(), "") << contents(scratch.path + "/sway.log");
        }

        // The panel, started on this screen with `settings` besides.
        std::unique_ptr<Meridan> start(const std::vector<std::string> &settings = {})
        {
            std::vector<std::string> all = screen->client();
            all.insert(all.end(), settings.begin(), settings.end());
            return std::make_unique<Meridan>(all, scratch.path + "/stderr");
        }
        // The panel's window at its design size, once the simulated board's (`board`) is there too.
        std::optional<Window> panel()
        {
            const auto found = screen->waitFor("Meridan", 374, 354);
            board = screen->waitFor("Meridan simulated board", 0, 0);
            if (!found || !board)
                return std::nullopt;
            // Its first paint: the left lamp's box shows white. A compositor may show the window's
            // place before the panel has drawn into it.
            const auto deadline = Clock::now() + 10s;
            while (Clock::now() < deadline) {
                const Pixels box =
                        screen->grab(*found, { kPicture1.first, kPicture1.second, 1, 1 });
                if (!box.rgb.empty() && box.rgb[0] == 0xFFFFFF)
                    break;
                std::this_thread::sleep_for(20ms);
            }
            std::this_thread::sleep_for(100ms); // the rest of the paint
            return found;
        }

        TemporaryDirectory scratch;
        std::unique_ptr<Screen> screen;
        std::optional<Window> board;
    };

    INSTANTIATE_TEST_SUITE_P(Desktops, OnScreen, ::testing::Values("X11", "Wayland"),
            [](const auto &desktop) { return desktop.param; });

    // Under the desktop's own theme and under a dark one (a GNOME user's dark style, through Qt's
    // GTK platform theme): the window's design size, every fixed colour and black text, on screen.
    TEST_P(OnScreen, TheWindowStartsWithEveryDesignColourUnderTheDefaultAndADarkTheme)
    {
        struct Theme
        {
            std::string name;
            std::vector<std::string> settings;
            bool dark; // the simulated board's window, which follows the desktop, shows it
        };
        const Theme themes[] = {
            { "default", { "QT_QPA_PLATFORMTHEME=", "GTK_THEME=" }, false },
            { "dark", { "QT_QPA_PLATFORMTHEME=gtk3", "GTK_THEME=Adwaita:dark" }, true },
        };
        for (const auto &[theme, settings, dark] : themes) {
            SCOPED_TRACE(theme);
            if (dark && std::getenv("MERIDAN_GTK_THEME") == nullptr) {
                std::cout << "[ NOT RUN  ] the dark theme: this build's Qt has no GTK platform "
                             "theme\n";
                continue;
            }
            auto meridan = start(settings);
            const auto window = panel();
            ASSERT_TRUE(window.has_value()) << "the panel never appeared";
            const Pixels corner = screen->grab(*board, { 2, 2, 1, 1 });
            ASSERT_EQ(corner.rgb.size(), 1u);
            EXPECT_EQ(meridan::testing::darkestChannel(corner.rgb[0]) < 100, dark)
                    << "the desktop's theme did not reach the panel's process";
            const Pixels pixels = screen->grab(*window, { 0, 0, 374, 354 });
            ASSERT_EQ(pixels.rgb.size(), 374u * 354u) << "no picture of the window";
            EXPECT_THAT(meridan::testing::designColourFaults(
                                [&pixels](int x, int y) { return pixels.at(x, y); }),
                    ::testing::IsEmpty());
            ::kill(meridan->pid, SIGTERM);
            EXPECT_EQ(meridan->exitStatus(), 0);
            ASSERT_TRUE(screen->waitGone("Meridan"));
        }
    }

    TEST_P(OnScreen, LeftRightAndHazardBlinkWithTheirPeriodsOffDarkensAndEndExitsWithZero)
    {
        auto meridan = start();
        const auto window = panel();
        ASSERT_TRUE(window.has_value()) << "the panel never appeared";
        // V = 200 at start: each lamp lit for 100 ms of every 300.
        for (const auto &[button, side] : { std::pair { kLeft, 0 }, { kRight, 1 } }) {
            SCOPED_TRACE(side == 0 ? "LEFT" : "RIGHT");
            screen->click(*window, button);
            const Trace trace = watch(*screen, *window, { kPicture1, kPicture2 }, 1600ms);
            ASSERT_GE(trace.rises[side].size(), 4u) << "the lamp's box did not blink";
            EXPECT_TRUE(trace.rises[1 - side].empty()) << "the other lamp's box lit";
            const auto [periods, litTimes] =
                    periodsAndLitTimes(trace.rises[side], trace.falls[side]);
            EXPECT_NEAR(median(periods), 300, 30);
            EXPECT_NEAR(median(litTimes), 100, 30);
            screen->click(*window, kOff);
            std::this_thread::sleep_for(100ms);
            const Trace after = watch(*screen, *window, { kPicture1, kPicture2 }, 400ms);
            EXPECT_TRUE(after.rises[0].empty() && after.rises[1].empty()) << "a box lit after OFF";
        }

        screen->click(*window, kHazard);
        const Trace hazard = watch(*screen, *window, { kPicture1, kPicture2 }, 1600ms);
        EXPECT_GE(hazard.rises[0].size(), 4u);
        EXPECT_EQ(hazard.rises[0].size(), hazard.rises[1].size());
        for (std::size_t i = 0; i < std::min(hazard.rises[0].size(), hazard.rises[1].size()); ++i)
            EXPECT_NEAR(hazard.rises[0][i], hazard.rises[1][i], 20) << "rise " << i;
        EXPECT_LE(hazard.disagreements * 50, hazard.samples) << "the boxes were out of phase";

        screen->click(*window, kEnd);
        EXPECT_EQ(meridan->exitStatus(), 0);
        EXPECT_TRUE(screen->waitGone("Meridan"));
    }

    // The close control and SIGTERM each end a blinking panel as END does, with status 0, and the
    // board's last writes darken output 1 then output 0.
    TEST_P(OnScreen, TheCloseControlAndSigtermEachDarkenBothLampsAndEndWithStatusZero)
    {
        for (const std::string ending : { "close", "SIGTERM" }) {
            SCOPED_TRACE(ending);
            const std::string record = scratch.path + "/writes-" + ending;
            auto meridan = start({ "MERIDAN_BOARD=sim,record=" + record });
            const auto window = panel();
            ASSERT_TRUE(window.has_value()) << "the panel never appeared";
            screen->click(*window, kHazard);
            ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
            if (ending == "close")
                screen->close(*window);
            else
                ::kill(meridan->pid, SIGTERM);
            EXPECT_EQ(meridan->exitStatus(), 0);
            EXPECT_THAT(lastLines(record, 2),
                    ::testing::ElementsAre("SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
            EXPECT_TRUE(screen->waitGone("Meridan"));
        }
    }

    TEST_F(RealWindow, ButtonFacesShowTheirDesignColourEnabledAndDisabledWithTheFocusVisible)
    {
        Meridan meridan;
        const auto panel = screen.waitFor("Meridan", 374, 354);
        ASSERT_TRUE(panel.has_value()) << "the panel never appeared";
        std::this_thread::sleep_for(200ms); // the first paint
        expectFaces(*panel,
                { { "LEFT", true }, { "OFF", true }, { "RIGHT", true }, { "HAZARD", true },
                        { "END", true } });
        const unsigned long unfocusedBorder = face(*panel, kButtons.at("OFF")).border;

        screen.click(*panel, kLeft); // LEFT takes the focus; RIGHT and HAZARD go grey
        std::this_thread::sleep_for(200ms);
        expectFaces(*panel,
                { { "LEFT", true }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", false },
                        { "END", true } });
        EXPECT_NE(face(*panel, kButtons.at("LEFT")).border, unfocusedBorder)
                << "the button with the keyboard focus looks like the others";
        EXPECT_EQ(face(*panel, kButtons.at("OFF")).border, unfocusedBorder);

        screen.click(*panel, kOff);
        screen.click(*panel, kHazard); // LEFT and RIGHT go grey
        std::this_thread::sleep_for(200ms);
        expectFaces(*panel,
                { { "LEFT", false }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", true },
                        { "END", true } });

        screen.click(*panel, kEnd);
        EXPECT_EQ(meridan.exitStatus(), 0);
    }

    TEST_F(RealWindow, WithoutABoardOnlyTheMessageShowsAndReturnEndsWithStatusOne)
    {
        Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
        const auto message = screen.waitFor("Meridan", 0, 0);
        ASSERT_TRUE(message.has_value()) << "no message box";
        // The box's text is checked in the widget tests; here, that it is the only window.
        EXPECT_LT(message->height, 200);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(screen.windows("Meridan").size(), 1u) << "more than the message box is showing";
        EXPECT_TRUE(screen.windows("Meridan simulated board").empty());

        run("xdotool windowfocus --sync " + std::to_string(message->id) + " key Return");
        EXPECT_EQ(meridan.exitStatus(), 1);
    }

    TEST_F(RealWindow, SigtermDuringTheNoBoardMessageEndsWithStatusOne)
    {
        Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
        ASSERT_TRUE(screen.waitFor("Meridan", 0, 0).has_value()) << "no message box";
        ::kill(meridan.pid, SIGTERM);
        EXPECT_EQ(meridan.exitStatus(), 1);
    }

    TEST_F(RealWindow, AnUnknownBoardIsReportedInABoxThenEndsWithStatusTwo)
    {
        Meridan meridan({ "MERIDAN_BOARD=phidget" });
        const auto report = screen.waitFor("Meridan", 0, 0);
        ASSERT_TRUE(report.has_value()) << "no report";
        EXPECT_LT(report->height, 300);
        run("xdotool windowfocus --sync " + std::to_string(report->id) + " key Return");
        EXPECT_EQ(meridan.exitStatus(), 2);
    }

    TEST_F(RealWindow, SigintSigtermAndSighupEndThePanelWithStatusZero)
    {
        for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
            SCOPED_TRACE(strsignal(signal));
            Meridan meridan;
            ASSERT_TRUE(screen.waitFor("Meridan", 374, 354).has_value());
            ::kill(meridan.pid, signal);
            EXPECT_EQ(meridan.exitStatus(), 0);
            ASSERT_TRUE(screen.waitGone("Meridan"));
        }
    }

    // Qt's own options would change the window the design fixes (-reverse mirrors it, -style and
    // -stylesheet restyle it): every argument is refused before Qt reads it, and no window opens.
    TEST_F(RealWindow, EveryArgumentQtsOwnIncludedIsRefusedWithStatusTwo)
    {
        TemporaryDirectory scratch;
        const std::string errors = scratch.path + "/stderr";
        const std::vector<std::vector<std::string>> table = { { "--foo" }, { "-reverse" },
            { "-style", "Windows" }, { "-stylesheet", "/dev/null" }, { "-platform", "offscreen" },
            { "-geometry", "100x100+0+0" }, { "-qwindowtitle", "x" } };
        for (const auto &arguments : table) {
            SCOPED_TRACE(arguments.front());
            std::vector<std::string> argv { std::getenv("MERIDAN_BINARY") };
            argv.insert(argv.end(), arguments.begin(), arguments.end());
            Process meridan(argv, { "QT_QPA_PLATFORM=xcb" }, errors);
            EXPECT_EQ(meridan.exitStatus(), 2);
            EXPECT_THAT(contents(errors),
                    ::testing::HasSubstr("meridan: takes no arguments, but was given \""
                            + arguments.front() + "\""));
            EXPECT_TRUE(screen.windows("Meridan").empty());
        }
    }

    // The display goes away under a blinking panel: the X server the test started for it ends, or
    // the Wayland compositor does. Both lamps are darkened (on the simulated board, Form_Unload ran
    // to its end, as the line says), and the panel ends with status 2.
    TEST_F(RealWindow, LosingTheDisplayDarkensBothLampsAndEndsWithStatusTwo)
    {
        TemporaryDirectory scratch;
        const std::string errors = scratch.path + "/stderr";
        {
            SCOPED_TRACE("X11");
            OwnXServer x(scratch.path + "/xvfb.log");
            ASSERT_TRUE(x.running()) << "no Xvfb";
            Meridan meridan({ "DISPLAY=" + x.display }, errors);
            ASSERT_TRUE(x.click(kLeft)) << "the panel never appeared";
            std::this_thread::sleep_for(300ms); // the left lamp lights at 200 ms
            x.end(SIGTERM);
            EXPECT_EQ(meridan.exitStatus(), 2);
            EXPECT_THAT(contents(errors),
                    ::testing::HasSubstr(
                            "meridan: the display was lost; both lamps darkened as END does\n"));
        }
        {
            SCOPED_TRACE("Wayland");
            const std::string runtime = scratch.path + "/runtime";
            std::filesystem::create_directory(runtime);
            std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
            Process compositor({ "weston", "--backend=headless-backend.so", "--socket=meridan-e2e",
                                       "--idle-time=0" },
                    { "XDG_RUNTIME_DIR=" + runtime }, scratch.path + "/weston.log");
            ASSERT_TRUE(appears(runtime + "/meridan-e2e")) << "no weston";
            // libwayland's protocol log tells when the panel has given its window a title: it runs.
            Meridan meridan({ "QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=meridan-e2e",
                                    "XDG_RUNTIME_DIR=" + runtime, "WAYLAND_DEBUG=client" },
                    errors);
            const auto deadline = Clock::now() + 10s;
            while (Clock::now() < deadline
                    && contents(errors).find("set_title(\"Meridan\")") == std::string::npos)
                std::this_thread::sleep_for(50ms);
            ASSERT_NE(contents(errors).find("set_title(\"Meridan\")"), std::string::npos)
                    << "the panel never showed its window";
            std::this_thread::sleep_for(200ms); // the left lamp's box is drawn; nothing is lit
            ::kill(compositor.pid, SIGTERM);
            EXPECT_EQ(meridan.exitStatus(), 2);
            EXPECT_THAT(contents(errors),
                    ::testing::HasSubstr(
                            "meridan: the display was lost; both lamps darkened as END does\n"));
        }
    }

    // The display goes away while hazard blinks, again and again: the X server is killed, or the
    // Wayland compositor is. Every time, the board's last two writes darken output 1 then output 0,
    // the one line says so, the status is 2, and nothing else is said (a sanitizer build reports
    // any fault on standard error). MERIDAN_LOSS_ROUNDS sets how many times of each (1 unless set).
    TEST_F(RealWindow, LosingTheDisplayWhileHazardBlinksLeavesBothLampsDarkEveryTime)
    {
        const char *rounds = std::getenv("MERIDAN_LOSS_ROUNDS");
        const int count = rounds != nullptr ? std::atoi(rounds) : 1;
        const auto checkEnd = [](Meridan &meridan, const std::string &record,
                                      const std::string &errors) {
            EXPECT_EQ(meridan.exitStatus(), 2);
            EXPECT_THAT(lastLines(record, 2),
                    ::testing::ElementsAre("SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
            const std::string said = contents(errors);
            EXPECT_THAT(said,
                    ::testing::HasSubstr(
                            "meridan: the display was lost; both lamps darkened as END does\n"));
            EXPECT_THAT(said, ::testing::Not(::testing::HasSubstr("Sanitizer")));
            EXPECT_THAT(said, ::testing::Not(::testing::HasSubstr("runtime error")));
        };
        for (int round = 1; round <= count && !HasFailure(); ++round) {
            SCOPED_TRACE("X11, round " + std::to_string(round));
            TemporaryDirectory scratch;
            const std::string record = scratch.path + "/writes", errors = scratch.path + "/stderr";
            OwnXServer x(scratch.path + "/xvfb.log");
            ASSERT_TRUE(x.running()) << "no Xvfb";
            Meridan meridan(
                    { "DISPLAY=" + x.display, "MERIDAN_BOARD=sim,record=" + record }, errors);
            ASSERT_TRUE(x.click(kHazard)) << "the panel never appeared";
            ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
            x.end(SIGKILL);
            checkEnd(meridan, record, errors);
        }
        for (int round = 1; round <= count && !HasFailure(); ++round) {
            SCOPED_TRACE("Wayland, round " + std::to_string(round));
            TemporaryDirectory scratch;
            const std::string record = scratch.path + "/writes", errors = scratch.path + "/stderr";
            Sway sway(scratch.path);
            ASSERT_TRUE(sway.running()) << contents(scratch.path + "/sway.log");
            std::vector<std::string> settings = sway.client();
            settings.push_back("MERIDAN_BOARD=sim,record=" + record);
            Meridan meridan(settings, errors);
            const long panel = sway.windowId("Meridan");
            const long board = sway.windowId("Meridan simulated board");
            ASSERT_NE(panel, 0) << "the panel never appeared: " << contents(errors);
            ASSERT_NE(board, 0) << "the simulated board never appeared";
            sway.message("'[con_id=" + std::to_string(board) + "] move position 500 0'");
            sway.message("'[con_id=" + std::to_string(panel) + "] move position 0 0'");
            sway.message("'[con_id=" + std::to_string(panel) + "] focus'");
            // The focus starts on LEFT; two tabs bring it to HAZARD.
            sway.type({ "Tab", "Tab", "space" });
            ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
            sway.kill();
            checkEnd(meridan, record, errors);
        }
    }

} // namespace
} // namespace meridan::e2e
