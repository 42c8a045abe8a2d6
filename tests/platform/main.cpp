// The platform tests' entry: doctest's runner, unless started as a helper process.
#define DOCTEST_CONFIG_IMPLEMENT
#include "doctest.h"

#include <cstdio>
#include <cstdlib>

#include "support.h"

int main(int argc, char** argv) {
    if (const int helper = test::runAsHelper(argc, argv); helper >= 0)
        return helper;
#ifndef _WIN32
    // The trash of the scratch folder's volume is then the scratch's own home trash, never
    // the user's: the tests recycle files.
    const std::string data = test::u8(test::join(test::scratchRoot(), u"data"));
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
#endif
    std::printf("platform tests on the %s backend, in %s\n", test::Windows ? "win32" : "posix",
                test::u8(test::scratchRoot()).c_str());
    doctest::Context context(argc, argv);
    return context.run();
}
