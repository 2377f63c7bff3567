// However this binary is started (ctest, a shell, a debugger), its tests see
// the built-in demo board and reach loopback only. ctest's discovered tests
// cannot carry a list of variables: gtest_discover_tests splits the property
// at its semicolons and keeps only the first.
#include <cstdlib>

namespace
{

const bool environment = [] {
    setenv("HALVO_BOARD", "demo", 1);
    setenv("HALVO_REMOTE_ALLOW", "loopback", 1);
    unsetenv("HALVO_SIM_BOARD");
    return true;
}();

} // namespace
