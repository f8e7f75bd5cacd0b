#include "board_library.h"

#include "board_call.h"
#include "board_setting.h"
#include "gpio_board.h"
#include "simulated_board.h"
#include "simulated_board_window.h"

#include <QMetaObject>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>

namespace meridan {

BoardLibrary::BoardLibrary(const Clock &time, ShowWindow showBoardWindow)
    : clock(time),
      showWindow(std::move(showBoardWindow))
{
}

BoardLibrary::~BoardLibrary() = default;

void BoardLibrary::OpenBoard(std::int32_t first, std::int32_t second)
{
    if (board != nullptr) {
        board->OpenBoard(first, second);
        return;
    }
    const char *value = std::getenv(std::string(kVariable).c_str());
    const std::string setting = value != nullptr ? value : "";

    const BoardSetting chosen = parseBoardSetting(setting);
    if (const auto *error = std::get_if<SettingError>(&chosen))
        BoardCall("OpenBoard", first, second).fail(error->message);
    if (const auto *lines = std::get_if<GpioSetting>(&chosen)) {
        openGpio(*lines, first, second);
        return;
    }
    const SimulatedSetting &sim = std::get<SimulatedSetting>(chosen);
    const SimulatedBoard::Plug plug =
            sim.attached ? SimulatedBoard::Plug::Attached : SimulatedBoard::Plug::Unplugged;

    auto post = [this](std::function<void()> event) {
        QMetaObject::invokeMethod(&eventContext, std::move(event), Qt::QueuedConnection);
    };
    simulated = std::make_unique<SimulatedBoard>(clock, post, plug);
    simulated->setRecord(SimulatedBoard::Record::Nothing);
    if (!sim.record.empty()) {
        const int file = ::open(
                sim.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
        if (file < 0)
            BoardCall("OpenBoard", first, second)
                    .fail("cannot open " + sim.record
                            + " to record the output writes in: " + std::strerror(errno));
        simulated->recordWritesTo(FileDescriptor(LinuxSystemCalls::instance(), file));
    }
    simulated->setInputChangeHandler(inputChanged);
    board = simulated.get();
    board->OpenBoard(first, second);
    if (simulated->attached()) {
        window = std::make_unique<SimulatedBoardWindow>(*simulated);
        if (showWindow)
            showWindow(*window);
    }
}

void BoardLibrary::openGpio(const GpioSetting &setting, std::int32_t first, std::int32_t second)
{
    gpio = std::make_unique<GpioBoard>(setting, *systemCalls);
    gpio->setInputChangeHandler(inputChanged);
    board = gpio.get();
    board->OpenBoard(first, second);
}

BoardLink &BoardLibrary::opened(const BoardCall &call) const
{
    if (board == nullptr)
        call.fail("board not opened");
    return *board;
}

Boolean BoardLibrary::BoardPresent()
{
    return opened(BoardCall("BoardPresent")).BoardPresent();
}

void BoardLibrary::PresetChannel(std::int16_t Index, std::int32_t value)
{
    opened({ "PresetChannel", Index, value }).PresetChannel(Index, value);
}

void BoardLibrary::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    opened({ "SetOutputLevel", Index, level }).SetOutputLevel(Index, level);
}

Boolean BoardLibrary::ReadInput(std::int16_t Index)
{
    return opened({ "ReadInput", Index }).ReadInput(Index);
}

void BoardLibrary::setInputChangeHandler(InputChangeHandler handler)
{
    inputChanged = std::move(handler);
    if (board != nullptr)
        board->setInputChangeHandler(inputChanged);
}

} // namespace meridan
