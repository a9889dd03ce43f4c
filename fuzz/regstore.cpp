// The registry file reader: any text either parses or raises its error, and
// what it writes back reads back to the same text. Its keys are then found
// by their paths and deleted leaves first until none is left, which walks
// the key tree through every kind of path the text could hold.
#include <cstdlib>
#include <vector>

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

    std::vector<tarn::AnsiString> paths;
    for (const RegKeyData& key : store.Keys()) {
        if (store.Find(key.Path) != &key || !store.Exists(key.Path))
            std::abort();
        paths.push_back(key.Path);
    }
    // Every key without subkeys can go; each round takes at least one leaf.
    while (!paths.empty()) {
        std::vector<tarn::AnsiString> left;
        for (auto it = paths.rbegin(); it != paths.rend(); ++it)
            if (!store.Delete(*it))
                left.insert(left.begin(), *it);
        if (left.size() == paths.size())
            std::abort();
        for (const tarn::AnsiString& path : left)
            if (!store.Find(path))
                std::abort();
        paths = std::move(left);
    }
    if (store.KeyCount() != 0 || store.Serialize() != "Windows Registry Editor Version 5.00\n")
        std::abort();
    return 0;
}
