// The text of a registry file in the syntax of .reg files, as the POSIX
// registry keeps it ($XDG_CONFIG_HOME/tarn-setup/user.reg):
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Studio\Game]
//   "InstallPath"="C:\\Games\\Game\\"
//   "Count"=hex(4):02,00,00,00
//
// Strings are UTF-8 text with \\ and \" escaped; every other type (and a string
// that text cannot carry exactly) is written as hex(N). Key and value names are
// compared without regard to ASCII case. Nothing that was read is dropped when
// the file is written back, keys of other roots included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarn::platform {

struct RegValue {
    AnsiString Name; // "" is the default value (@)
    uint32_t Type = 0;
    std::string Data;
};

struct RegKeyData {
    AnsiString Path; // full path with its root, e.g. HKEY_CURRENT_USER\Software\Game
    std::vector<RegValue> Values;
};

class RegStore {
public:
    // Raises ERegistryException naming the line when the text is malformed or
    // holds more characters outside code page 932 than the program can map.
    void Parse(std::string_view text);
    std::string Serialize() const;

    // The key itself when it is listed; nullptr otherwise.
    RegKeyData* Find(std::string_view path);
    // Listed, or the parent of a listed key.
    bool Exists(std::string_view path) const;
    // Creates the key and its missing parents. False when a name cannot be
    // written as text (it would not survive the file).
    bool Create(std::string_view path);
    // Removes a key that has no subkeys; false when it has some or does not exist.
    bool Delete(std::string_view path);
    // Names of the direct subkeys, in file order.
    StringList SubKeys(std::string_view path) const;
    const std::vector<RegKeyData>& Keys() const { return keys_; }

    static RegValue* FindValue(RegKeyData& key, std::string_view name);

private:
    std::vector<RegKeyData> keys_;
};

} // namespace tarn::platform
