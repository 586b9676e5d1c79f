#pragma once

#include <functional>
#include <string>

namespace tesselwick::test {

// Runs `body` in a child process (fork), for scenarios that change what the
// whole process may do: drop its privileges, cap the size of the files it
// writes. The child's checks may use EXPECT_*: their failures are printed by
// the child, which then reports "failed checks in the child process".
// Returns "" when the child ran to its end without a failed check; otherwise
// what went wrong, also when it died or ran longer than `limitSeconds`.
// Call it while the test process has no thread of its own running (no test
// server yet): a forked child gets only the calling thread.
std::string RunInChildProcess(const std::function<void()>& body, unsigned limitSeconds = 90);

}  // namespace tesselwick::test
