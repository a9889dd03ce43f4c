// Starting programs on Windows (CreateProcessW), with standard streams through
// temporary files.
#include "platform/win32/win32.h"

#include <atomic>

#include "platform/platform.h"

namespace tarn::platform {

struct Process::Impl {
    HANDLE process = nullptr;
    std::wstring inFile, outFile, errFile;
    bool capture = false;
};

namespace {

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring TempName(const wchar_t* what)
{
    static std::atomic<int> counter{ 0 };
    wchar_t dir[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + L"tarn-proc-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L"-" + what;
}

// The started program may hand its handles on to programs that outlive it
// (wineboot's services, say): shared for deletion, the files can still be
// deleted once this process has read them.
HANDLE OpenInheritable(const std::wstring& file, bool write)
{
    SECURITY_ATTRIBUTES sa = { sizeof sa, nullptr, TRUE };
    return CreateFileW(file.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string Slurp(const std::wstring& file)
{
    std::string text;
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    CloseHandle(h);
    return text;
}

} // namespace

std::unique_ptr<Process> Process::Start(std::string_view program, const std::vector<std::string>& args,
                                        std::string_view stdinData, bool capture)
{
    auto impl = std::make_unique<Impl>();
    impl->capture = capture;
    std::wstring app = Wide(program);
    std::wstring cmd = QuoteArgument(app);
    for (const std::string& a : args) {
        std::u16string w = Utf8ToUtf16(a);
        cmd += L" " + QuoteArgument(std::wstring(w.begin(), w.end()));
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    HANDLE in = nullptr, out = nullptr, err = nullptr;
    if (!stdinData.empty() || capture) {
        impl->inFile = TempName(L"in");
        HANDLE w = OpenInheritable(impl->inFile, true);
        DWORD written;
        if (w != INVALID_HANDLE_VALUE) {
            WriteFile(w, stdinData.data(), static_cast<DWORD>(stdinData.size()), &written, nullptr);
            CloseHandle(w);
        }
        in = OpenInheritable(impl->inFile, false);
    }
    if (capture) {
        impl->outFile = TempName(L"out");
        impl->errFile = TempName(L"err");
        out = OpenInheritable(impl->outFile, true);
        err = OpenInheritable(impl->errFile, true);
    }
    bool redirect = in || out || err;
    if (redirect) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in ? in : GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out ? out : GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = err ? err : GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessW(app.c_str(), cmd.data(), nullptr, nullptr, redirect, 0, nullptr, nullptr, &si, &pi);
    for (HANDLE h : { in, out, err })
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    if (!ok) {
        for (const std::wstring* file : { &impl->inFile, &impl->outFile, &impl->errFile })
            if (!file->empty())
                DeleteFileW(file->c_str());
        return nullptr;
    }
    CloseHandle(pi.hThread);
    impl->process = pi.hProcess;
    std::unique_ptr<Process> p(new Process);
    p->impl_ = std::move(impl);
    return p;
}

Process::~Process()
{
    if (impl_ && impl_->process)
        Wait();
}

int Process::Wait()
{
    if (!impl_->process)
        return -1;
    WaitForSingleObject(impl_->process, INFINITE);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(impl_->process, &code);
    CloseHandle(impl_->process);
    impl_->process = nullptr;
    if (impl_->capture) {
        out_ = Slurp(impl_->outFile);
        err_ = Slurp(impl_->errFile);
        DeleteFileW(impl_->outFile.c_str());
        DeleteFileW(impl_->errFile.c_str());
    }
    if (!impl_->inFile.empty())
        DeleteFileW(impl_->inFile.c_str());
    return static_cast<int>(code);
}

} // namespace tarn::platform
