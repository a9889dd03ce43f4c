#include "platform/reg_store.h"

#include <cstdio>

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

bool HasPrefixFolded(std::string_view path, std::string_view prefix)
{
    return path.size() > prefix.size() && path[prefix.size()] == '\\' && SameText(path.substr(0, prefix.size()), prefix) &&
           IsCharStart(path, prefix.size());
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
    uint32_t HexNumber()
    {
        uint32_t v = 0;
        int digits = 0;
        while (!AtEnd() && HexDigit(Peek()) >= 0) {
            if (++digits > 8)
                Malformed(line_);
            v = v << 4 | static_cast<uint32_t>(HexDigit(s_[i_++]));
        }
        if (digits == 0)
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

void RegStore::Parse(std::string_view text)
{
    keys_.clear();
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
    RegKeyData* current = nullptr;
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
            current = Find(path);
            if (!current) {
                keys_.push_back({ path, {} });
                current = &keys_.back();
            }
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
            uint32_t v = p.HexNumber();
            value.Type = 4;
            for (int k = 0; k < 4; ++k)
                value.Data += static_cast<char>(v >> (8 * k));
        } else if (p.Consume("hex")) {
            value.Type = 3;
            if (p.Peek() == '(') {
                p.Expect('(');
                value.Type = p.HexNumber();
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
        if (RegValue* old = FindValue(*current, value.Name))
            *old = std::move(value);
        else
            current->Values.push_back(std::move(value));
    }
}

std::string RegStore::Serialize() const
{
    std::string out = "Windows Registry Editor Version 5.00\n";
    static const char hex[] = "0123456789abcdef";
    for (const RegKeyData& key : keys_) {
        out += "\n[" + AnsiToHostUtf8(key.Path) + "]\n";
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

RegKeyData* RegStore::Find(std::string_view path)
{
    for (RegKeyData& key : keys_)
        if (SameText(key.Path, path))
            return &key;
    return nullptr;
}

bool RegStore::Exists(std::string_view path) const
{
    for (const RegKeyData& key : keys_)
        if (SameText(key.Path, path) || HasPrefixFolded(key.Path, path))
            return true;
    return false;
}

bool RegStore::Create(std::string_view path)
{
    std::string text;
    if (path.empty() || !ToFileText(path, text) || path.find(']') != std::string_view::npos)
        return false;
    // Parents first, so that the file reads top down.
    for (size_t i = 0; i <= path.size(); i += (i < path.size() ? CharLengthAt(path, i) : 1)) {
        if (i < path.size() && !(path[i] == '\\' && CharLengthAt(path, i) == 1))
            continue;
        std::string_view prefix = path.substr(0, i);
        if (!prefix.empty() && !Find(prefix))
            keys_.push_back({ AnsiString(prefix), {} });
    }
    return true;
}

bool RegStore::Delete(std::string_view path)
{
    for (const RegKeyData& key : keys_)
        if (HasPrefixFolded(key.Path, path))
            return false;
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (SameText(keys_[i].Path, path)) {
            keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

StringList RegStore::SubKeys(std::string_view path) const
{
    StringList names;
    for (const RegKeyData& key : keys_) {
        if (!HasPrefixFolded(key.Path, path))
            continue;
        std::string_view rest = std::string_view(key.Path).substr(path.size() + 1);
        size_t sep = std::string_view::npos;
        for (size_t i = 0; i < rest.size(); i += CharLengthAt(rest, i))
            if (rest[i] == '\\' && CharLengthAt(rest, i) == 1) {
                sep = i;
                break;
            }
        AnsiString name(rest.substr(0, sep));
        bool seen = false;
        for (const AnsiString& n : names)
            seen = seen || SameText(n, name);
        if (!seen && !name.empty())
            names.push_back(name);
    }
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
