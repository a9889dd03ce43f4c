// The registry file reader: any text either parses or raises its error, and
// what it writes back reads back to the same text.
#include <cstdlib>

#include "base/error.h"
#include "fuzz_support.h"
#include "platform/reg_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tarn::platform;
    RegStore store;
    try {
        store.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const tarn::ERegistryException&) {
        return 0;
    }
    std::string once = store.Serialize();
    RegStore again;
    again.Parse(once);
    if (again.Serialize() != once)
        std::abort();
    return 0;
}
