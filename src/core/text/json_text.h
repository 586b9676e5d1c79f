#pragma once

#include <string>
#include <string_view>

namespace tesselwick {

// A JSON text as nlohmann's dump writes it (with bytes that are not UTF-8
// replaced), with DEL and the C1 controls inside its strings escaped too
// ("\u007f", "\u0085"): the dump escapes C0 controls but writes those as
// they are, which a terminal takes for commands. To a JSON reader the text
// says the same.
std::string TerminalSafeJson(std::string_view dumped);

}  // namespace tesselwick
