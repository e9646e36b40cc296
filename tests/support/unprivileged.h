#pragma once

#include <functional>
#include <optional>

namespace moraven::test {

// Runs `body` without the power to override file permissions, so that tests of "permission denied" also
// work when the tests run as root (which can open any file). As root, `body` runs in a forked child that
// has switched to the user and group "nobody" (65534); otherwise it runs in this process. Returns body's
// result (use small codes: 0 for success; an exception escaping `body` gives 124), or nullopt when the child
// could not be started or could not drop its privileges; the caller then skips its test. The paths that
// `body` uses must be reachable by "nobody" (a TempDir is private to its owner until its permissions are
// opened). In the child, gtest assertions do not reach the parent: report failures through the result.
std::optional<int> runUnprivileged(const std::function<int()>& body);

}  // namespace moraven::test
