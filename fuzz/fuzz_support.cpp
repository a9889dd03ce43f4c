#include "fuzz_support.h"

#include "platform/platform.h"

namespace tarn::fuzz {

void SaveSeed(const AnsiString& dir, const std::string& name, std::string_view bytes)
{
    platform::ForceDirectories(dir);
    auto f = platform::File::Open(dir + name, platform::File::Mode::Create);
    if (f)
        f->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

} // namespace tarn::fuzz
