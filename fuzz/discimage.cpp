// Disc images: any bytes, as any of the containers, either open and read
// through (every directory, every file) or raise the media error; never a
// crash, a hang or a read outside the image.
//
// The first byte chooses how the rest is laid out: 0 an .iso, 1 a plain
// .bin, 2 an .nrg, 3 a cue sheet, its text up to the first NUL and the
// track file after it, 4 a CloneCD control file and its .img likewise.
#include <chrono>
#include <functional>
#include <string>

#include "fuzz_support.h"
#include "media/iso_fs.h"
#include "media/sector_source.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

using namespace tarn;

void Save(const AnsiString& path, std::string_view bytes)
{
    auto f = platform::File::Open(path, platform::File::Mode::Create);
    if (!f || f->Write(bytes.data(), static_cast<int64_t>(bytes.size())) != static_cast<int64_t>(bytes.size()))
        std::abort();
}

void Walk(const media::IsoFileSystem& fs, const media::DiscNode& dir, int64_t& budget)
{
    std::vector<uint8_t> buffer(64 * 1024);
    for (const auto& child : fs.Children(dir)) {
        if (budget <= 0)
            return;
        if (child->IsDirectory) {
            Walk(fs, *child, budget);
            continue;
        }
        // What lies in an image is read in bounded steps: sizes are the image's word.
        int64_t want = std::min<int64_t>(child->Size, static_cast<int64_t>(buffer.size()));
        int64_t got = fs.Read(*child, std::max<int64_t>(0, child->Size - want), buffer.data(), want);
        if (got < 0 || got > want)
            std::abort();
        budget -= want + 1;
        fs.Find(child->Name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    if (size < 1)
        return 0;
    static const AnsiString dir = platform::TempDirectory() + "tarn-fuzz-discimage-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "\\";
    static const bool made = platform::ForceDirectories(dir);
    if (!made)
        std::abort();
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    AnsiString image;
    switch (data[0] % 5) {
    case 0: image = dir + "d.iso", Save(image, rest); break;
    case 1: image = dir + "d.bin", Save(image, rest); break;
    case 2: image = dir + "d.nrg", Save(image, rest); break;
    case 3:
    case 4: {
        size_t nul = std::min(rest.find('\0'), rest.size());
        bool cue = data[0] % 5 == 3;
        image = dir + (cue ? "d.cue" : "d.ccd");
        Save(image, rest.substr(0, nul));
        Save(dir + (cue ? "d.bin" : "d.img"), rest.substr(std::min(nul + 1, rest.size())));
        break;
    }
    }
    try {
        auto source = std::shared_ptr<media::SectorSource>(media::OpenSectorSource(image));
        media::IsoFileSystem fs(source, image);
        int64_t budget = 16 << 20;
        Walk(fs, fs.Root(), budget);
        fs.Find("a\\b\\c");
        fs.Warnings();
    } catch (const Exception&) {
    }
    return 0;
}
