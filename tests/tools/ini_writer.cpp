// Writes many keys into one INI file through the profile store, as one of several processes
// sharing the file: ini_writer FILE SHAPE ID COUNT. SHAPE is "sections" (a new section per
// write), "early" (new keys in the file's first section, so that the file is rewritten) or
// "shared" (new keys in the last section, as the journals append). Exits 1 when a write fails.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profile_store.h"

using namespace ordalix::platform;

namespace {

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ini_writer FILE sections|early|shared ID COUNT\n");
        return 2;
    }
    const Path file = wide(argv[1]);
    const std::string shape = argv[2];
    const std::string id = argv[3];
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
        const std::string name = "p" + id + "-" + std::to_string(i);
        const std::string section = shape == "sections" ? name
                                    : shape == "early"  ? "early"
                                                        : "shared";
        if (!writeProfileString(wide(section), wide("k" + name), wide("v" + name), file)) {
            std::fprintf(stderr, "write %d failed\n", i);
            return 1;
        }
    }
    return 0;
}
