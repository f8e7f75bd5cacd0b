#include "app/x11_send_buffer.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <sys/socket.h>

namespace meridan {

void widenX11SendBuffer()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    constexpr int kSendBuffer = 1 << 20;
    const int descriptor = xcb_get_file_descriptor(x11->connection());
    // A refusal changes nothing: the connection keeps its buffer and works as before.
    static_cast<void>(
            ::setsockopt(descriptor, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer));
}

} // namespace meridan
