// The installation description as JSON: one key per field, named and ordered
// as the file stores them; strings as UTF-8 text or {"hex": ...}. Shared by
// instdat (whole descriptions) and mkdisc (partial ones, completed by the tool).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/tool_json.h"
#include "setup/install_set.h"

namespace tarn::tools {

enum class InstallFieldKind { Int32, Byte, String, DiscCount, List, Installed };

struct InstallField {
    const char* Name;
    InstallFieldKind Type;
    int32_t TTarnInstallSet::*Int = nullptr;
    uint8_t TTarnInstallSet::*Byte = nullptr;
    AnsiString TTarnInstallSet::*Text = nullptr;
    int List = -1; // 0 program, 1 data, 2 sound, 3 movie
};

// In file order.
std::span<const InstallField> InstallFields();
const InstallField* FindInstallField(std::string_view name);
std::span<int32_t> InstallListOf(TTarnInstallSet& d, int list);
std::span<const int32_t> InstallListOf(const TTarnInstallSet& d, int list);
// The values a number field (or a list entry) can take.
void InstallFieldRange(const InstallField& f, int64_t& min, int64_t& max);

Json InstallSetToJson(const TTarnInstallSet& d);

// A whole description: every key must be there and no other. Raises ToolError.
TTarnInstallSet InstallSetFromJson(const Json& o);
// The same from the text of a JSON file (instdat create --from); shown names
// the file in messages. Raises ToolError.
TTarnInstallSet InstallSetFromJsonText(std::string_view text, const std::string& shown);
// Only the keys o holds are set on d; a DiscCount key resizes the lists
// first, and every list o holds must have d's DiscCount entries. Unknown keys
// raise ToolError; what names the object in messages ("install: ").
void ApplyInstallJson(const Json& o, TTarnInstallSet& d, const std::string& what = {});

} // namespace tarn::tools
