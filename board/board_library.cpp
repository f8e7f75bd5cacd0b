#include "board/board_library.h"

#include "board/board_call.h"
#include "board/board_context.h"
#include "board/board_setting.h"

#include <QMetaObject>

#include <cstdlib>
#include <string>
#include <utility>

namespace meridan {

BoardLibrary::BoardLibrary(const Clock &time, BoardOpened onOpened)
    : clock(time),
      boardOpened(std::move(onOpened))
{
}

BoardLibrary::~BoardLibrary() = default;

void BoardLibrary::OpenBoard(std::int32_t first, std::int32_t second)
{
    if (board) {
        board->OpenBoard(first, second);
        if (boardOpened)
            boardOpened(*board);
        return;
    }
    const char *value = std::getenv(std::string(kVariable).c_str());
    const BoardSetting chosen = parseBoardSetting(value != nullptr ? value : "");
    if (const auto *error = std::get_if<SettingError>(&chosen))
        BoardCall("OpenBoard", first, second).fail(error->message);

    const BoardContext context { clock,
        [this](std::function<void()> event) {
            QMetaObject::invokeMethod(&eventContext, std::move(event), Qt::QueuedConnection);
        },
        *systemCalls };
    // Each board's own folder makes it from its setting.
    board = std::visit(
            [&context](const auto &setting) -> std::unique_ptr<BoardLink> {
                if constexpr (std::is_same_v<std::decay_t<decltype(setting)>, SettingError>)
                    return nullptr;
                else
                    return makeBoard(setting, context);
            },
            chosen);
    board->setInputChangeHandler(inputChanged);
    board->OpenBoard(first, second);
    if (boardOpened)
        boardOpened(*board);
}

BoardLink &BoardLibrary::opened(const BoardCall &call) const
{
    if (!board)
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
    if (board)
        board->setInputChangeHandler(inputChanged);
}

} // namespace meridan
