// meridan-wayland-pointer WIDTH HEIGHT: a virtual pointer on a wlroots compositor's seat, for the
// real-window tests. A seat without input devices offers its clients no pointer, and a click the
// compositor is told to make then only focuses a window; a virtual pointer held open gives the
// seat one, and its motion and buttons reach the window under it as a mouse's would.
//
// Reads one command a line from standard input and answers "ok" on standard output once the
// compositor has taken it (a round trip), "ready" once the pointer exists:
//   move X Y     the pointer to (X, Y) on the WIDTH x HEIGHT output
//   press        the left button down
//   release      the left button up
// Ends, removing the pointer, at the end of its input.

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include <linux/input-event-codes.h>

namespace {

struct Globals
{
    wl_seat *seat = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointers = nullptr;
};

void announced(
        void *data, wl_registry *registry, std::uint32_t name, const char *interface, std::uint32_t)
{
    auto *globals = static_cast<Globals *>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr)
        globals->seat =
                static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        globals->pointers = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void withdrawn(void *, wl_registry *, std::uint32_t) {}

const wl_registry_listener kRegistryListener { announced, withdrawn };

std::uint32_t now()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: meridan-wayland-pointer WIDTH HEIGHT\n";
        return 2;
    }
    const auto width = static_cast<std::uint32_t>(std::atoi(argv[1]));
    const auto height = static_cast<std::uint32_t>(std::atoi(argv[2]));
    wl_display *display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::cerr << "meridan-wayland-pointer: no Wayland display\n";
        return 1;
    }
    Globals globals;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.pointers == nullptr) {
        std::cerr << "meridan-wayland-pointer: the compositor offers no virtual pointer\n";
        return 1;
    }
    zwlr_virtual_pointer_v1 *pointer =
            zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, globals.seat);
    wl_display_roundtrip(display);
    std::cout << "ready" << std::endl;

    for (std::string command; std::getline(std::cin, command);) {
        unsigned x = 0, y = 0;
        if (std::sscanf(command.c_str(), "move %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
        } else if (command == "press" || command == "release") {
            zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT,
                    command == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                       : WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            std::cerr << "meridan-wayland-pointer: unknown command \"" << command << "\"\n";
            return 2;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0) {
            std::cerr << "meridan-wayland-pointer: the compositor has gone\n";
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
