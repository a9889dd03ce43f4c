#include "base/path.h"

namespace tarn {

bool IsPathSeparator(std::string_view path, int position)
{
    if (position < 1 || static_cast<size_t>(position) > path.size())
        return false;
    size_t i = static_cast<size_t>(position) - 1;
    return path[i] == '\\' && IsCharStart(path, i);
}

AnsiString AddBackslash(std::string_view path)
{
    AnsiString out(path);
    if (!IsPathSeparator(path, static_cast<int>(path.size())))
        out += '\\';
    return out;
}

AnsiString ExcludeTrailingBackslash(std::string_view path)
{
    if (IsPathSeparator(path, static_cast<int>(path.size())))
        path.remove_suffix(1);
    return AnsiString(path);
}

void StripLastPathPart(AnsiString& path)
{
    if (path.empty())
        return;
    if (IsPathSeparator(path, static_cast<int>(path.size())))
        path.pop_back();
    size_t sep = LastDelimiter("\\", path);
    if (sep == std::string_view::npos)
        path.clear();
    else
        path.erase(sep);
}

AnsiString ExtractFilePath(std::string_view path)
{
    size_t i = LastDelimiter("\\:", path);
    return i == std::string_view::npos ? AnsiString() : AnsiString(path.substr(0, i + 1));
}

AnsiString ExtractFileName(std::string_view path)
{
    size_t i = LastDelimiter("\\:", path);
    return AnsiString(i == std::string_view::npos ? path : path.substr(i + 1));
}

AnsiString ExtractFileExt(std::string_view path)
{
    size_t i = LastDelimiter(".\\:", path);
    if (i == std::string_view::npos || path[i] != '.')
        return AnsiString();
    return AnsiString(path.substr(i));
}

AnsiString ChangeFileExt(std::string_view path, std::string_view ext)
{
    size_t i = LastDelimiter(".\\:", path);
    if (i == std::string_view::npos || path[i] != '.')
        i = path.size();
    return AnsiString(path.substr(0, i)) + AnsiString(ext);
}

AnsiString NormalizedPath(std::string_view path)
{
    // The root: "X:\" for a drive path, "\\server\share\" for a network path.
    size_t rootEnd = 0;
    AnsiString root;
    if (path.size() >= 2 && path[1] == ':') {
        root = AnsiString(path.substr(0, 2)) + "\\";
        rootEnd = 2;
    } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        root = "\\\\";
        rootEnd = 2;
    }
    StringList parts;
    AnsiString part;
    auto endPart = [&] {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (size_t i = rootEnd; i < path.size(); i += CharLengthAt(path, i)) {
        if (CharLengthAt(path, i) == 1 && (path[i] == '\\' || path[i] == '/'))
            endPart();
        else
            part.append(path, i, CharLengthAt(path, i));
    }
    endPart();
    AnsiString out = root;
    for (size_t k = 0; k < parts.size(); ++k)
        out += (k == 0 ? "" : "\\") + parts[k];
    return out;
}

bool StaysBelow(std::string_view relative)
{
    int depth = 0;
    AnsiString part;
    for (size_t i = 0; i <= relative.size(); i += i < relative.size() ? CharLengthAt(relative, i) : 1) {
        bool single = i == relative.size() || CharLengthAt(relative, i) == 1;
        if (single && i < relative.size() && relative[i] == ':')
            return false;
        if (i == relative.size() || (single && (relative[i] == '\\' || relative[i] == '/'))) {
            if (i == 0 && i < relative.size())
                return false; // from a root
            if (part == ".." && --depth < 0)
                return false;
            if (!part.empty() && part != "." && part != "..")
                ++depth;
            part.clear();
            continue;
        }
        part.append(relative.substr(i, CharLengthAt(relative, i)));
    }
    return true;
}

StringList SplitCommandLine(std::string_view commandLine)
{
    StringList args;
    size_t i = 0, n = commandLine.size();
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) < '!'; };
    while (true) {
        while (i < n && isBlank(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        AnsiString arg;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(commandLine[i]))) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                arg += commandLine[i];
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace tarn
