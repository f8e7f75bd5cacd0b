// libFuzzer target for the Firmata parser: whatever bytes a serial port delivers, split however
// they come, the parser must not crash or read out of bounds, must read the same messages as from
// one piece, and must give only values the protocol can carry.

#include "board/firmata/firmata_protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace meridan::firmata;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<Message> whole, split;
    Parser one;
    one.feed(data, size, [&whole](const Message &message) { whole.push_back(message); });
    // The same bytes in pieces whose lengths the first byte chooses.
    Parser pieces;
    const std::size_t step = size > 0 ? 1 + data[0] % 7 : 1;
    for (std::size_t at = 0; at < size; at += step)
        pieces.feed(data + at, std::min(step, size - at),
                [&split](const Message &message) { split.push_back(message); });
    if (whole != split || one.strayBytes() != pieces.strayBytes())
        std::abort();
    if (one.strayBytes() > size || one.bytesSeen() != size)
        std::abort();
    for (const Message &message : whole) {
        if (const auto *digital = std::get_if<DigitalReport>(&message))
            if (digital->port > 15 || digital->bits >= (1u << 14))
                std::abort();
        if (const auto *version = std::get_if<VersionReport>(&message))
            if (version->major > 127 || version->minor > 127)
                std::abort();
    }
    return 0;
}
