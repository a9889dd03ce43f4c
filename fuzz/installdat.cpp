// The installation description reader: any bytes either load or raise its
// error without touching the object; what loads saves back to exactly the
// bytes that were read.
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "setup/install_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn;
    TMemoryStream stream;
    stream.Assign(std::vector<uint8_t>(data, data + size));
    TTarnInstallSet d;
    d.Title = "before";
    d.SetDiscCount(1);
    d.ProgramSizes()[0] = 7;
    const std::string before = d.SaveToBytes();
    try {
        d.LoadFromStream(stream, "install.dat");
    } catch (const EInstallSetError&) {
        if (d.SaveToBytes() != before)
            std::abort();
        return 0;
    }
    std::string saved = d.SaveToBytes();
    size_t consumed = static_cast<size_t>(stream.GetPosition());
    if (saved.size() != consumed || saved.compare(0, std::string::npos, reinterpret_cast<const char*>(data), consumed) != 0)
        std::abort();
    return 0;
}
