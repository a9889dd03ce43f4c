#include "platform/reg_store.h"

#include <cstdio>
#include <unordered_map>

#include "base/codepage.h"
#include "base/error.h"

namespace tarn::platform {

namespace {

[[noreturn]] void Malformed(int line)
{
    throw ERegistryException(u8"レジストリファイルの %d 行目が不正です", { line });
}

// Host text read from the file. Characters code page 932 lacks take slots of
// its user-defined area; a file that needs more of them than the area holds is
// refused at the line where they run out.
AnsiString FromFileText(std::string_view text, int line)
{
    try {
        return HostUtf8ToAnsi(text);
    } catch (const EConvertError&) {
        throw ERegistryException(u8"レジストリファイルの %d 行目の文字を変換できません", { line });
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Text that survives the file exactly: host UTF-8 and back gives the same bytes.
bool ToFileText(std::string_view ansi, std::string& text)
{
    text = AnsiToHostUtf8(ansi);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r' || c == 0)
            return false;
    }
    try {
        return HostUtf8ToAnsi(text) == ansi && Utf16ToUtf8(Utf8ToUtf16(text)) == text;
    } catch (const EConvertError&) {
        return false; // written as bytes instead
    }
}

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Calls fn(start, end) for every component of path: the parts between
// backslashes that stand in single-byte positions (the second byte of ソ is
// no separator). A path has at least one component, maybe empty.
template <typename Fn>
void ForEachComponent(std::string_view path, Fn fn)
{
    size_t start = 0;
    for (size_t i = 0; i < path.size();) {
        size_t n = CharLengthAt(path, i);
        if (n == 1 && path[i] == '\\') {
            fn(start, i);
            start = i + 1;
        }
        i += n;
    }
    fn(start, path.size());
}

// The index's key: the parent node's number and the name folded as SameText
// folds it. Components start at character boundaries, so folding one alone
// gives the bytes folding the whole path would.
void IndexKey(std::string& key, uint32_t parent, std::string_view name)
{
    key.assign(reinterpret_cast<const char*>(&parent), sizeof parent);
    for (size_t i = 0; i < name.size();) {
        size_t n = CharLengthAt(name, i);
        char c = name[i];
        key += n == 1 && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        if (n == 2)
            key += name[i + 1];
        i += n;
    }
}

class LineParser {
public:
    LineParser(std::string_view text, int lineNo) : s_(text), line_(lineNo) { }

    bool AtEnd() const { return i_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[i_]; }
    void Expect(char c)
    {
        if (Peek() != c)
            Malformed(line_);
        ++i_;
    }
    bool Consume(std::string_view word)
    {
        if (s_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }
    std::string QuotedString()
    {
        Expect('"');
        std::string out;
        while (true) {
            if (AtEnd())
                Malformed(line_);
            char c = s_[i_++];
            if (c == '"')
                return out;
            if (c == '\\') {
                if (AtEnd())
                    Malformed(line_);
                c = s_[i_++];
            }
            out += c;
        }
    }
    // At least minDigits and at most 8 hex digits.
    uint32_t HexNumber(int minDigits)
    {
        uint32_t v = 0;
        int digits = 0;
        while (!AtEnd() && HexDigit(Peek()) >= 0) {
            if (++digits > 8)
                Malformed(line_);
            v = v << 4 | static_cast<uint32_t>(HexDigit(s_[i_++]));
        }
        if (digits < minDigits)
            Malformed(line_);
        return v;
    }
    std::string_view Rest() const { return s_.substr(i_); }
    size_t Pos() const { return i_; }

private:
    std::string_view s_;
    size_t i_ = 0;
    int line_;
};

} // namespace

RegStore::RegStore() { Clear(); }

void RegStore::Clear()
{
    keys_.clear();
    nodes_.assign(1, Node{});
    freeNodes_.clear();
    index_.clear();
}

void RegStore::Parse(std::string_view text)
{
    Clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    // Each section makes or finds its key's node: about one per line.
    index_.reserve(lines.size());
    RegKeyData* current = nullptr;
    // A value named again (in the same section or in another of the same
    // key) replaces the earlier one. Keys with many values get an index of
    // their names, so that finding the earlier one stays cheap.
    constexpr size_t kScanned = 16;
    std::unordered_map<const RegKeyData*, std::unordered_map<AnsiString, size_t>> valueAt;
    for (size_t n = 0; n < lines.size(); ++n) {
        int lineNo = static_cast<int>(n + 1);
        std::string_view line = lines[n];
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == ';')
            continue;
        line = line.substr(first);
        if (n == 0 && (line == "Windows Registry Editor Version 5.00" || line == "REGEDIT4"))
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close < 2 || line[1] == '-' ||
                line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
                Malformed(lineNo);
            AnsiString path = FromFileText(line.substr(1, close - 1), lineNo);
            uint32_t node = Make(path);
            current = &List(node, std::move(path));
            continue;
        }
        if (!current || (line[0] != '"' && line[0] != '@'))
            Malformed(lineNo);
        LineParser p(line, lineNo);
        RegValue value;
        if (p.Peek() == '@')
            p.Expect('@');
        else
            value.Name = FromFileText(p.QuotedString(), lineNo);
        p.Expect('=');
        if (p.Peek() == '"') {
            value.Type = 1;
            value.Data = FromFileText(p.QuotedString(), lineNo);
            value.Data += '\0';
        } else if (p.Consume("dword:")) {
            // Always eight digits where the file was written whole: fewer are
            // a cut line, not a smaller number.
            uint32_t v = p.HexNumber(8);
            value.Type = 4;
            for (int k = 0; k < 4; ++k)
                value.Data += static_cast<char>(v >> (8 * k));
        } else if (p.Consume("hex")) {
            value.Type = 3;
            if (p.Peek() == '(') {
                p.Expect('(');
                value.Type = p.HexNumber(1);
                p.Expect(')');
            }
            p.Expect(':');
            // Byte lists may continue over lines ending in a backslash.
            std::string_view rest = p.Rest();
            while (true) {
                size_t k = 0;
                while (k < rest.size()) {
                    while (k < rest.size() && (rest[k] == ' ' || rest[k] == '\t' || rest[k] == ','))
                        ++k;
                    if (k >= rest.size() || rest[k] == '\\')
                        break;
                    if (k + 1 >= rest.size() || HexDigit(rest[k]) < 0 || HexDigit(rest[k + 1]) < 0)
                        Malformed(lineNo);
                    value.Data += static_cast<char>(HexDigit(rest[k]) << 4 | HexDigit(rest[k + 1]));
                    k += 2;
                    if (k < rest.size() && rest[k] != ',' && rest[k] != ' ' && rest[k] != '\t' && rest[k] != '\\')
                        Malformed(lineNo);
                }
                bool more = k < rest.size() && rest[k] == '\\';
                if (more && rest.find_first_not_of(" \t", k + 1) != std::string_view::npos)
                    Malformed(lineNo);
                if (!more)
                    break;
                if (++n >= lines.size())
                    Malformed(lineNo);
                rest = lines[n];
            }
            p = LineParser("", lineNo);
        } else {
            Malformed(lineNo);
        }
        if (p.Rest().find_first_not_of(" \t") != std::string_view::npos)
            Malformed(lineNo);
        std::vector<RegValue>& values = current->Values;
        if (values.size() < kScanned) {
            if (RegValue* old = FindValue(*current, value.Name))
                *old = std::move(value);
            else
                values.push_back(std::move(value));
            continue;
        }
        auto [names, fresh] = valueAt.try_emplace(current);
        if (fresh)
            for (size_t i = 0; i < values.size(); ++i)
                names->second.emplace(AnsiLowerCase(values[i].Name), i);
        auto [at, added] = names->second.try_emplace(AnsiLowerCase(value.Name), values.size());
        if (added)
            values.push_back(std::move(value));
        else
            values[at->second] = std::move(value);
    }
}

std::string RegStore::Serialize() const
{
    std::string out = "Windows Registry Editor Version 5.00\n";
    static const char hex[] = "0123456789abcdef";
    for (const RegKeyData& key : keys_) {
        out += "\n[";
        out += AnsiToHostUtf8(key.Path);
        out += "]\n";
        for (const RegValue& v : key.Values) {
            std::string name;
            out += v.Name.empty() ? std::string("@") : Quote(ToFileText(v.Name, name) ? name : AnsiToHostUtf8(v.Name));
            out += '=';
            std::string text;
            bool asText = v.Type == 1 && !v.Data.empty() && v.Data.back() == '\0' &&
                          v.Data.find('\0') == v.Data.size() - 1 &&
                          ToFileText(std::string_view(v.Data).substr(0, v.Data.size() - 1), text);
            if (asText) {
                out += Quote(text);
            } else {
                char type[16];
                std::snprintf(type, sizeof type, "hex(%x):", v.Type);
                out += type;
                for (size_t i = 0; i < v.Data.size(); ++i) {
                    unsigned char c = static_cast<unsigned char>(v.Data[i]);
                    if (i)
                        out += ',';
                    out += hex[c >> 4];
                    out += hex[c & 15];
                }
            }
            out += '\n';
        }
    }
    return out;
}

uint32_t RegStore::Child(uint32_t parent, std::string_view name) const
{
    IndexKey(scratch_, parent, name);
    auto it = index_.find(scratch_);
    return it == index_.end() ? kNone : it->second;
}

uint32_t RegStore::Lookup(std::string_view path) const
{
    uint32_t node = 0;
    ForEachComponent(path, [&](size_t start, size_t end) {
        if (node != kNone)
            node = Child(node, path.substr(start, end - start));
    });
    return node;
}

uint32_t RegStore::MakeChild(uint32_t parent, std::string_view name)
{
    uint32_t child = Child(parent, name);
    if (child != kNone)
        return child;
    if (freeNodes_.empty()) {
        child = static_cast<uint32_t>(nodes_.size());
        nodes_.emplace_back();
    } else {
        child = freeNodes_.back();
        freeNodes_.pop_back();
    }
    nodes_[child].parent = parent;
    nodes_[child].name = AnsiString(name);
    nodes_[parent].children.push_back(child);
    index_.emplace(scratch_, child); // the key Child left there
    return child;
}

uint32_t RegStore::Make(std::string_view path)
{
    uint32_t node = 0;
    ForEachComponent(path, [&](size_t start, size_t end) { node = MakeChild(node, path.substr(start, end - start)); });
    return node;
}

RegKeyData& RegStore::List(uint32_t node, AnsiString path)
{
    Node& n = nodes_[node];
    if (!n.listed) {
        n.key = keys_.insert(keys_.end(), RegKeyData{ std::move(path), {} });
        n.listed = true;
    }
    return *n.key;
}

RegKeyData* RegStore::Find(std::string_view path)
{
    uint32_t node = Lookup(path);
    return node != kNone && nodes_[node].listed ? &*nodes_[node].key : nullptr;
}

bool RegStore::Exists(std::string_view path) const { return Lookup(path) != kNone; }

bool RegStore::Create(std::string_view path)
{
    // A section starting "[-" would read as a deletion, which the file refuses.
    std::string text;
    if (path.empty() || path[0] == '-' || !ToFileText(path, text) || text.find(']') != std::string::npos)
        return false;
    // Parents first, so that the file reads top down. The empty text before
    // a leading backslash names no key.
    uint32_t node = 0;
    ForEachComponent(path, [&](size_t start, size_t end) {
        node = MakeChild(node, path.substr(start, end - start));
        if (end > 0)
            List(node, AnsiString(path.substr(0, end)));
    });
    return true;
}

bool RegStore::Delete(std::string_view path)
{
    uint32_t node = Lookup(path);
    if (node == kNone || !nodes_[node].listed || !nodes_[node].children.empty())
        return false;
    keys_.erase(nodes_[node].key);
    nodes_[node].listed = false;
    // Nodes that no listed key needs any more go, up to the first that is.
    while (node != 0 && !nodes_[node].listed && nodes_[node].children.empty()) {
        Node& n = nodes_[node];
        std::vector<uint32_t>& siblings = nodes_[n.parent].children;
        for (size_t i = 0; i < siblings.size(); ++i)
            if (siblings[i] == node) {
                siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        IndexKey(scratch_, n.parent, n.name);
        index_.erase(scratch_);
        uint32_t parent = n.parent;
        n = Node{};
        freeNodes_.push_back(node);
        node = parent;
    }
    return true;
}

StringList RegStore::SubKeys(std::string_view path) const
{
    StringList names;
    uint32_t node = Lookup(path);
    if (node == kNone)
        return names;
    for (uint32_t child : nodes_[node].children)
        if (!nodes_[child].name.empty())
            names.push_back(nodes_[child].name);
    return names;
}

RegValue* RegStore::FindValue(RegKeyData& key, std::string_view name)
{
    for (RegValue& v : key.Values)
        if (SameText(v.Name, name))
            return &v;
    return nullptr;
}

} // namespace tarn::platform
