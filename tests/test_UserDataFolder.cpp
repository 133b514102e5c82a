#include "RetrievalFixture.h"
#include "base/FileUtil.h"

#include <gtest/gtest.h>

namespace cq {
namespace {

// XDG_DATA_HOME counts only as an absolute path; an empty or relative one is ignored and the
// folder falls back to ~/.local/share, whatever the working directory is.
TEST(UserDataFolder, TakesOnlyAnAbsoluteXdgDataHome) {
    const test::ScopedEnvironment home("HOME", "/home/someone");
    struct Case {
        const char* xdg;
        const char* expected;
    };
    const Case cases[] = {
        {"/srv/data", "/srv/data/"},
        {"/srv/data/", "/srv/data/"},
        {"", "/home/someone/.local/share/"},
        {"relative/data", "/home/someone/.local/share/"},
        {"./data", "/home/someone/.local/share/"},
        {"data", "/home/someone/.local/share/"},
    };
    for (const Case& c : cases) {
        const test::ScopedEnvironment xdg("XDG_DATA_HOME", c.xdg);
        EXPECT_EQ(UserDataFolder(), c.expected) << "XDG_DATA_HOME=" << c.xdg;
    }
}

} // namespace
} // namespace cq
