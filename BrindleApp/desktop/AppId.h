#pragma once

#include <string_view>

namespace brindle::desktop {

// The reverse-DNS application id names the launcher, the autostart entry,
// the AppStream component and the application icon. packaging/CMakeLists.txt
// reads it from this line, so keep it a single string literal.
inline constexpr std::string_view kAppId = "io.github.brindle.Brindle";

}  // namespace brindle::desktop
