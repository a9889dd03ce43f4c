#include "common/tool.h"

#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform.h"

namespace tarn::tools {

int RunTool(const char* name, int argc, char** argv, const std::function<int(std::vector<std::string>&)>& body)
{
    std::vector<std::string> args = platform::ArgumentsUtf8(argc, argv);
    try {
        return body(args);
    } catch (const UsageError& e) {
        Err(std::string(name) + ": " + e.what() + "\nTry '" + name + " --help'.\n");
        return 2;
    } catch (const Exception& e) {
        Err(std::string(name) + ": " + Cp932ToUtf8Lossy(e.Message()) + "\n");
        return 1;
    } catch (const std::bad_alloc&) {
        Err(std::string(name) + ": out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        Err(std::string(name) + ": " + e.what() + "\n");
        return 1;
    }
}

void Out(std::string_view utf8) { platform::WriteStdout(utf8); }
void Err(std::string_view utf8) { platform::WriteStderr(utf8); }

int64_t ParseInteger(const std::string& text, const std::string& what, int64_t min, int64_t max)
{
    auto bad = [&]() -> ToolError { return ToolError(what + ": not a number in " + std::to_string(min) + ".." + std::to_string(max) + ": '" + text + "'"); };
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int base = 10;
    if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        base = 16, i += 2;
    if (i >= text.size())
        throw bad();
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int d = (c >= '0' && c <= '9') ? c - '0' : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10 : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0)
            throw bad();
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > (uint64_t(1) << 62))
            throw bad();
    }
    int64_t value = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    if (value < min || value > max)
        throw bad();
    return value;
}

int32_t ParseSeed(const std::string& text, const std::string& what)
{
    int64_t v = ParseInteger(text, what, INT32_MIN, UINT32_MAX);
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

AnsiString PathArg(const std::string& host) { return platform::PathFromHost(host); }

std::vector<std::string> SafeComponents(const AnsiString& name)
{
    std::vector<std::string> parts;
    AnsiString part;
    auto finish = [&]() -> bool {
        bool onlyDots = part.find_first_not_of(". ") == std::string::npos;
        std::string utf8;
        if (part.empty() || onlyDots || !TryCp932ToUtf8(part, utf8))
            return false;
        parts.push_back(part);
        part.clear();
        return true;
    };
    for (size_t i = 0; i < name.size(); i += CharLengthAt(name, i)) {
        size_t n = CharLengthAt(name, i);
        char c = name[i];
        if (n == 1 && (c == '\\' || c == '/')) {
            if (!finish())
                return {};
            continue;
        }
        if (n == 1 && (c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F))
            return {};
        part.append(name, i, n);
    }
    if (!finish())
        return {};
    return parts;
}

std::string Utf8Of(const AnsiString& cp932) { return Cp932ToUtf8Lossy(cp932); }

std::string HexOf(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string BytesOfHex(const std::string& hex, const std::string& what)
{
    if (hex.size() % 2)
        throw ToolError(what + ": odd number of hex digits");
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int v = 0;
        for (size_t k = i; k < i + 2; ++k) {
            char c = hex[k];
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0)
                throw ToolError(what + ": not a hex digit: '" + std::string(1, c) + "'");
            v = v << 4 | d;
        }
        out += static_cast<char>(v);
    }
    return out;
}

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), active_(platform::StderrIsTerminal())
{
}

Progress::~Progress()
{
    if (active_ && lastShown_ >= 0)
        Err("\n");
}

void Progress::Update(int64_t done)
{
    if (!active_)
        return;
    int percent = total_ > 0 ? static_cast<int>(done * 100 / total_) : 100;
    if (percent == lastShown_)
        return;
    lastShown_ = percent;
    int filled = percent * 30 / 100;
    Err("\r" + label_ + " [" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(30 - filled), '.') +
        "] " + std::to_string(percent) + "%");
}

} // namespace tarn::tools
