#include "core/platform/open_files.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace tesselwick {

std::size_t RaiseOpenFileLimit(std::size_t wanted) {
#ifdef _WIN32
  // Sockets are not counted against a limit of open files here.
  return wanted;
#else
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const auto want = static_cast<rlim_t>(wanted);
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= want)
    return limit.rlim_cur == RLIM_INFINITY ? wanted : static_cast<std::size_t>(limit.rlim_cur);
  rlimit raised = limit;
  raised.rlim_cur =
      limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= want ? want : limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return static_cast<std::size_t>(limit.rlim_cur);
  return static_cast<std::size_t>(raised.rlim_cur);
#endif
}

}  // namespace tesselwick
