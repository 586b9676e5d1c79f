#pragma once

#include <cstddef>

namespace tesselwick {

// Raises the number of files the process may have open at once to at least
// `wanted`, as far as the system allows (its hard limit); never lowers it.
// Returns the limit in force afterwards, or `wanted` where the system keeps
// no such limit.
std::size_t RaiseOpenFileLimit(std::size_t wanted);

}  // namespace tesselwick
