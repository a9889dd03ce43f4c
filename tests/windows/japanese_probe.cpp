// A Windows program that tells what a Japanese game finds where it runs:
// the ANSI code page, a file of its folder opened by its Shift-JIS name
// through the ANSI functions, and the gothic face a game asks for by name.
// It writes "name=value" lines (UTF-8) to probe-result.txt beside itself,
// first to a temporary name, so that a reader never sees half of it.
#include <windows.h>

#include <string>

namespace {

std::wstring Folder()
{
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string Utf8(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// The file セーブ.txt of the program's folder, read through the ANSI functions.
std::string ReadSave(const std::wstring& folder)
{
    // The folder's name as the ANSI functions take it, then the name in Shift-JIS.
    char ansiFolder[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansiFolder, sizeof ansiFolder, nullptr, nullptr);
    std::string path = std::string(ansiFolder) + "\x83\x5A\x81\x5B\x83\x75.txt"; // セーブ.txt
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "(not opened, error " + std::to_string(GetLastError()) + ")";
    char buf[256];
    DWORD got = 0;
    ReadFile(h, buf, sizeof buf, &got, nullptr);
    CloseHandle(h);
    return std::string(buf, got);
}

} // namespace

int main()
{
    const std::wstring folder = Folder();
    std::string out = "acp=" + std::to_string(GetACP()) + "\n";
    out += "save=" + ReadSave(folder) + "\n";

    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"\xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF");
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    WORD glyph = 0xFFFF;
    GetGlyphIndicesW(dc, L"\x3042", 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS); // あ
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    out += "charset=" + std::to_string(tm.tmCharSet) + "\n";
    out += "face=" + Utf8(face) + "\n";
    out += std::string("glyph=") + (glyph != 0xFFFF ? "yes" : "no") + "\n";

    const std::wstring temp = folder + L"probe-result.tmp", result = folder + L"probe-result.txt";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    CloseHandle(h);
    return MoveFileExW(temp.c_str(), result.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
