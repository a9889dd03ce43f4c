#include "common/json.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarn::tools {

bool Json::AsBool() const
{
    if (type_ != Type::Bool)
        throw JsonError("expected true or false");
    return bool_;
}

int64_t Json::AsInteger() const
{
    if (type_ == Type::Integer)
        return int_;
    if (type_ == Type::Float && std::floor(float_) == float_ && std::fabs(float_) < 9.0e15)
        return static_cast<int64_t>(float_);
    throw JsonError("expected an integer");
}

double Json::AsFloat() const
{
    if (type_ == Type::Integer)
        return static_cast<double>(int_);
    if (type_ != Type::Float)
        throw JsonError("expected a number");
    return float_;
}

const std::string& Json::AsString() const
{
    if (type_ != Type::String)
        throw JsonError("expected a string");
    return string_;
}

const std::vector<Json>& Json::Items() const
{
    if (type_ != Type::Array)
        throw JsonError("expected an array");
    return items_;
}

std::vector<Json>& Json::Items()
{
    if (type_ != Type::Array)
        throw JsonError("expected an array");
    return items_;
}

const std::vector<std::pair<std::string, Json>>& Json::Members() const
{
    if (type_ != Type::Object)
        throw JsonError("expected an object");
    return members_;
}

void Json::Push(Json value) { Items().push_back(std::move(value)); }

size_t Json::Size() const { return type_ == Type::Object ? members_.size() : Items().size(); }

const Json& Json::operator[](size_t index) const
{
    const std::vector<Json>& items = Items();
    if (index >= items.size())
        throw JsonError("index out of range");
    return items[index];
}

void Json::Set(std::string key, Json value)
{
    if (type_ != Type::Object)
        throw JsonError("expected an object");
    for (auto& m : members_)
        if (m.first == key) {
            m.second = std::move(value);
            return;
        }
    members_.emplace_back(std::move(key), std::move(value));
}

const Json* Json::Find(std::string_view key) const
{
    if (type_ != Type::Object)
        return nullptr;
    for (const auto& m : members_)
        if (m.first == key)
            return &m.second;
    return nullptr;
}

const Json& Json::Get(std::string_view key) const
{
    const Json* j = Find(key);
    if (!j)
        throw JsonError("missing key \"" + std::string(key) + "\"");
    return *j;
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) { }

    Json Document()
    {
        Json v = Value(0);
        Blank();
        if (i_ != s_.size())
            Fail("unexpected text after the value");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what) { throw JsonError("JSON: " + what + " at offset " + std::to_string(i_)); }

    void Blank()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }

    bool Literal(std::string_view word)
    {
        if (s_.substr(i_, word.size()) != word)
            return false;
        i_ += word.size();
        return true;
    }

    Json Value(int depth)
    {
        if (depth > 256)
            Fail("nesting too deep");
        Blank();
        if (i_ >= s_.size())
            Fail("unexpected end");
        char c = s_[i_];
        if (c == '{')
            return ObjectValue(depth);
        if (c == '[')
            return ArrayValue(depth);
        if (c == '"')
            return Json(String());
        if (Literal("true"))
            return Json(true);
        if (Literal("false"))
            return Json(false);
        if (Literal("null"))
            return Json();
        if (c == '-' || (c >= '0' && c <= '9'))
            return Number();
        Fail("unexpected character");
    }

    Json ObjectValue(int depth)
    {
        ++i_;
        Json obj = Json::Object();
        Blank();
        if (i_ < s_.size() && s_[i_] == '}') {
            ++i_;
            return obj;
        }
        for (;;) {
            Blank();
            if (i_ >= s_.size() || s_[i_] != '"')
                Fail("expected a key");
            std::string key = String();
            Blank();
            if (i_ >= s_.size() || s_[i_] != ':')
                Fail("expected ':'");
            ++i_;
            if (obj.Has(key))
                Fail("duplicate key \"" + key + "\"");
            obj.Set(std::move(key), Value(depth + 1));
            Blank();
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == '}') {
                ++i_;
                return obj;
            }
            Fail("expected ',' or '}'");
        }
    }

    Json ArrayValue(int depth)
    {
        ++i_;
        Json arr = Json::Array();
        Blank();
        if (i_ < s_.size() && s_[i_] == ']') {
            ++i_;
            return arr;
        }
        for (;;) {
            arr.Push(Value(depth + 1));
            Blank();
            if (i_ < s_.size() && s_[i_] == ',') {
                ++i_;
                continue;
            }
            if (i_ < s_.size() && s_[i_] == ']') {
                ++i_;
                return arr;
            }
            Fail("expected ',' or ']'");
        }
    }

    unsigned Hex4()
    {
        if (i_ + 4 > s_.size())
            Fail("bad \\u escape");
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = s_[i_++];
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0)
                Fail("bad \\u escape");
            v = v << 4 | static_cast<unsigned>(d);
        }
        return v;
    }

    static void Utf8(std::string& out, char32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::string String()
    {
        ++i_; // opening quote
        std::string out;
        for (;;) {
            if (i_ >= s_.size())
                Fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                Fail("control character in string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (i_ >= s_.size())
                Fail("unterminated string");
            char e = s_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                char32_t cp = Hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (s_.substr(i_, 2) != "\\u")
                        Fail("lone surrogate");
                    i_ += 2;
                    unsigned low = Hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        Fail("lone surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                    Fail("lone surrogate");
                }
                Utf8(out, cp);
                break;
            }
            default:
                Fail("bad escape");
            }
        }
    }

    Json Number()
    {
        size_t start = i_;
        if (s_[i_] == '-')
            ++i_;
        if (i_ >= s_.size() || !(s_[i_] >= '0' && s_[i_] <= '9'))
            Fail("bad number");
        if (s_[i_] == '0' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9')
            Fail("leading zero");
        bool integral = true;
        while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E' ||
                                  ((s_[i_] == '+' || s_[i_] == '-') && (s_[i_ - 1] == 'e' || s_[i_ - 1] == 'E')))) {
            if (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E')
                integral = false;
            ++i_;
        }
        std::string text(s_.substr(start, i_ - start));
        if (integral) {
            errno = 0;
            char* end = nullptr;
            long long v = std::strtoll(text.c_str(), &end, 10);
            if (errno == 0 && end && *end == '\0')
                return Json(v);
        }
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (!end || *end != '\0')
            Fail("bad number");
        return Json(d);
    }

    std::string_view s_;
    size_t i_ = 0;
};

} // namespace

Json Json::Parse(std::string_view text) { return Parser(text).Document(); }

std::string JsonQuote(std::string_view utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void Json::DumpTo(std::string& out, int indent, int level) const
{
    auto newline = [&](int lvl) {
        if (indent > 0) {
            out += '\n';
            out.append(static_cast<size_t>(indent * lvl), ' ');
        }
    };
    switch (type_) {
    case Type::Null: out += "null"; break;
    case Type::Bool: out += bool_ ? "true" : "false"; break;
    case Type::Integer: out += std::to_string(int_); break;
    case Type::Float: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", float_);
        out += std::isfinite(float_) ? buf : "null";
        break;
    }
    case Type::String: out += JsonQuote(string_); break;
    case Type::Array:
        out += '[';
        for (size_t k = 0; k < items_.size(); ++k) {
            if (k)
                out += ',';
            newline(level + 1);
            items_[k].DumpTo(out, indent, level + 1);
        }
        if (!items_.empty())
            newline(level);
        out += ']';
        break;
    case Type::Object:
        out += '{';
        for (size_t k = 0; k < members_.size(); ++k) {
            if (k)
                out += ',';
            newline(level + 1);
            out += JsonQuote(members_[k].first);
            out += indent > 0 ? ": " : ":";
            members_[k].second.DumpTo(out, indent, level + 1);
        }
        if (!members_.empty())
            newline(level);
        out += '}';
        break;
    }
}

std::string Json::Dump(int indent) const
{
    std::string out;
    DumpTo(out, indent, 0);
    return out;
}

} // namespace tarn::tools
