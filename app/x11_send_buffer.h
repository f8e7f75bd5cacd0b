#pragma once

namespace meridan {

// On X11, lets the windows' pictures of one lamp edge go to the server without the panel waiting.
// A hazard edge sends four small pictures (the two boxes and the simulated board's two lamps),
// about 80 kB; a Unix socket counts as writable only while a quarter of its send buffer is
// free, so with the default buffer (208 kB) xcb found the connection full before the last of
// them and slept until the server had read the rest: one more wake-up of the panel at every edge.
// This asks the kernel for a larger send buffer on the display connection (it grants at most its
// net.core.wmem_max, twice over). Does nothing on other platforms; a refusal leaves the
// connection as it was, and the pictures go as before.
void widenX11SendBuffer();

} // namespace meridan
