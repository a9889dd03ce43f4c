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
//
// Reading and writing the text take time in proportion to its size, and
// finding, creating or listing a key in proportion to its path, whatever the
// number of keys: the keys sit in a tree of their path components, beside
// the list that keeps their file order.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
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
    RegStore();
    RegStore(RegStore&&) = default;
    RegStore& operator=(RegStore&&) = default;
    // The tree refers into the key list: a copy would refer into the original.
    RegStore(const RegStore&) = delete;
    RegStore& operator=(const RegStore&) = delete;

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
    // Names of the direct subkeys, in the order they first appear in the file.
    StringList SubKeys(std::string_view path) const;
    size_t KeyCount() const { return keys_.size(); }
    // Listed keys, in file order.
    const std::list<RegKeyData>& Keys() const { return keys_; }

    static RegValue* FindValue(RegKeyData& key, std::string_view name);

private:
    using KeyList = std::list<RegKeyData>;
    static constexpr uint32_t kNone = UINT32_MAX;

    // One path component. A node exists only while a listed key lies at it or
    // below it, so finding the node of a path answers Exists.
    struct Node {
        uint32_t parent = kNone;
        AnsiString name; // as spelt where it first appeared
        std::vector<uint32_t> children; // in order of appearance
        bool listed = false;
        KeyList::iterator key;
    };

    uint32_t Lookup(std::string_view path) const;
    uint32_t Child(uint32_t parent, std::string_view name) const;
    // The child of that name, made when missing.
    uint32_t MakeChild(uint32_t parent, std::string_view name);
    // The node of path, made with the nodes above it when missing.
    uint32_t Make(std::string_view path);
    RegKeyData& List(uint32_t node, AnsiString path);
    void Clear();

    KeyList keys_; // file order
    std::vector<Node> nodes_; // [0] stands above the first component
    std::vector<uint32_t> freeNodes_;
    // (parent node, component folded to lower case) -> node
    std::unordered_map<std::string, uint32_t> index_;
    mutable std::string scratch_;
};

} // namespace tarn::platform
