#include "board_library.h"

#include "run_time_error.h"
#include "simulated_board.h"
#include "simulated_board_window.h"

#include <QMetaObject>

#include <cstdlib>
#include <string>
#include <utility>

namespace meridan {

BoardLibrary::BoardLibrary(const Clock &time, ShowWindow showBoardWindow)
    : clock(time),
      showWindow(std::move(showBoardWindow))
{
}

BoardLibrary::~BoardLibrary() = default;

void BoardLibrary::OpenBoard(std::int32_t first, std::int32_t second)
{
    const char *value = std::getenv(std::string(kVariable).c_str());
    const std::string setting = value != nullptr ? value : "";
    if (board != nullptr) {
        board->OpenBoard(first, second);
        return;
    }

    SimulatedBoard::Plug plug;
    if (setting.empty() || setting == "sim")
        plug = SimulatedBoard::Plug::Attached;
    else if (setting == "sim-unplugged")
        plug = SimulatedBoard::Plug::Unplugged;
    else
        raiseRunTimeError(callText("OpenBoard", { first, second }),
                std::string(kVariable) + " is \"" + setting
                        + "\", which is no board; accepted values: sim (the default, also when "
                          "unset or empty) and sim-unplugged");

    auto post = [this](std::function<void()> event) {
        QMetaObject::invokeMethod(&eventContext, std::move(event), Qt::QueuedConnection);
    };
    simulated = std::make_unique<SimulatedBoard>(clock, post, plug);
    simulated->setInputChangeHandler(inputChanged);
    board = simulated.get();
    board->OpenBoard(first, second);
    if (simulated->attached()) {
        window = std::make_unique<SimulatedBoardWindow>(*simulated);
        if (showWindow)
            showWindow(*window);
    }
}

BoardLink &BoardLibrary::opened(
        std::string_view name, std::initializer_list<std::int32_t> arguments) const
{
    if (board == nullptr)
        raiseRunTimeError(callText(name, arguments), "board not opened");
    return *board;
}

Boolean BoardLibrary::BoardPresent()
{
    return opened("BoardPresent", {}).BoardPresent();
}

void BoardLibrary::PresetChannel(std::int16_t Index, std::int32_t value)
{
    opened("PresetChannel", { Index, value }).PresetChannel(Index, value);
}

void BoardLibrary::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    opened("SetOutputLevel", { Index, level }).SetOutputLevel(Index, level);
}

Boolean BoardLibrary::ReadInput(std::int16_t Index)
{
    return opened("ReadInput", { Index }).ReadInput(Index);
}

void BoardLibrary::setInputChangeHandler(InputChangeHandler handler)
{
    inputChanged = std::move(handler);
    if (board != nullptr)
        board->setInputChangeHandler(inputChanged);
}

} // namespace meridan
