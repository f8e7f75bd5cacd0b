#pragma once

namespace meridan {

// The panel's caption and the title of every message box it shows.
inline constexpr const char *kApplicationTitle = "Meridan";

} // namespace meridan
