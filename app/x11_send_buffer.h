#pragma once

namespace meridan {

// On X11, lets the windows' pictures of one lamp edge go to the server without the panel waiting:
// asks the kernel for a send buffer on the display connection large enough for a hazard edge's
// four small pictures, of which a Unix socket's default buffer holds too few before xcb must wait
// (docs/performance.md). The kernel grants at most its net.core.wmem_max, twice over. Does
// nothing on other platforms; a refusal leaves the connection as it was.
void widenX11SendBuffer();

} // namespace meridan
