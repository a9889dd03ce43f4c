// Outside fuzzing builds a target replays its corpus as an ordinary test:
//   fuzz_NAME --seeds DIR [FILE_OR_DIR...]
// writes the seeds into DIR, then runs every file of DIR and of the further
// arguments through the target once. A crash or a sanitizer report fails it.
#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/path.h"
#include "fuzz_support.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

int Replay(const tarn::AnsiString& path)
{
    using namespace tarn;
    if (platform::DirectoryExists(path)) {
        int n = 0;
        std::vector<AnsiString> names;
        {
            platform::DirectoryReader reader(AddBackslash(path), false);
            platform::DirEntry e;
            while (reader.Next(e))
                if (e.Name != "." && e.Name != "..")
                    names.push_back(AddBackslash(path) + e.Name);
        }
        for (const AnsiString& name : names)
            n += Replay(name);
        return n;
    }
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tarn;
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    try {
        int count = 0;
        for (size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--seeds" && i + 1 < args.size()) {
                AnsiString dir = AddBackslash(platform::PathFromHost(args[++i]));
                fuzz::WriteSeeds(dir);
                count += Replay(dir);
            } else {
                count += Replay(platform::PathFromHost(args[i]));
            }
        }
        std::printf("replayed %d inputs\n", count);
        return count > 0 ? 0 : 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "replay failed: cannot read the corpus\n");
        return 1;
    }
}
