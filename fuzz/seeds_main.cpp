// Writes a fuzz target's seed corpus: fuzz_NAME_seeds DIR
#include <cstdio>

#include "base/error.h"
#include "base/path.h"
#include "fuzz_support.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args = tarn::platform::ArgumentsUtf8(argc, argv);
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: fuzz_NAME_seeds DIR\n");
        return 2;
    }
    try {
        tarn::fuzz::WriteSeeds(tarn::AddBackslash(tarn::platform::PathFromHost(args[0])));
    } catch (const tarn::Exception& e) {
        std::fprintf(stderr, "seed writer failed\n");
        return 1;
    }
    return 0;
}
