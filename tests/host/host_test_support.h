// Shared by the host backend tests: the fixture copy run-on-fixture made, and
// the settings read from it.
#ifndef HALVO_HOST_TEST_SUPPORT_H
#define HALVO_HOST_TEST_SUPPORT_H

#include "board/halvo.h"
#include "libhalvo/backends/host/sysroot.h"
#include "libhalvo/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace halvo::test
{

inline std::string fixtureMachine()
{
    const char *m = std::getenv("HALVO_FIXTURE");
    return m ? m : "";
}

// The settings as the library reads them on the fixture copy.
inline const Settings &fixtureSettings()
{
    static const Settings settings = loadSettings();
    return settings;
}

inline const host::Root &fixtureRoot()
{
    static const host::Root root(fixtureSettings().sysroot);
    return root;
}

inline uint16_t errorClass(int32_t status)
{
    return HALVO_ERROR_CLASS(status);
}

// The copy's file as text ("" when missing), for checking what a write did.
inline std::string fixtureFile(const std::string &path)
{
    return fixtureRoot().text(path, "");
}

} // namespace halvo::test

#endif
