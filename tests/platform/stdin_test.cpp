// Standard input as its readers get it: UTF-8 lines, whatever the code page,
// from a file and (on Windows) from a pipe that fills while the reader waits.
#include <string>

#include "base/codepage.h"
#include "platform/platform.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace tarn;

namespace {

// Every line as the console backend reads it (waiting a little at a time,
// as it does while a run goes on), joined by '|', then "(end)".
TARN_CHILD(echo_lines)
{
    std::string out;
    for (;;) {
        std::string line;
        platform::InputResult r = platform::ReadStdinLine(line, 50);
        if (r == platform::InputResult::Timeout)
            continue;
        if (r == platform::InputResult::End)
            break;
        out += line + "|";
    }
    platform::WriteStdout(out + "(end)");
    return 0;
}

TARN_CHILD(read_all)
{
    std::string bytes;
    if (!platform::ReadStdin(bytes, static_cast<size_t>(std::stoul(args.at(0)))))
        return 3;
    platform::WriteStdout(bytes);
    return 0;
}

const std::string kJapanese = "一行目 ソ表\r\n二行目 ゲーム\n\nlast 終わり";

TEST(Stdin, LinesOfUtf8ComeAsTheyWereWritten)
{
    platform::ProcessResult r = platform::RunProcess(test::SelfPath(), test::ChildArgs("echo_lines"), kJapanese);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "一行目 ソ表|二行目 ゲーム||last 終わり|(end)");
}

TEST(Stdin, AllOfItUnchangedWithinItsLimit)
{
    platform::ProcessResult r = platform::RunProcess(test::SelfPath(), test::ChildArgs("read_all", { "1000" }), kJapanese);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, kJapanese);
    r = platform::RunProcess(test::SelfPath(), test::ChildArgs("read_all", { "10" }), kJapanese);
    EXPECT_EQ(r.ExitCode, 3);
}

#ifdef _WIN32
// The child reads from a pipe that this test writes piece by piece, a
// character cut in two across the pieces, and closes at the end.
TEST(Stdin, FromAPipeThatFillsWhileTheReaderWaits)
{
    SECURITY_ATTRIBUTES inherit = { sizeof inherit, nullptr, TRUE };
    HANDLE inRead, inWrite, outRead, outWrite;
    ASSERT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0));
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0));
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    std::u16string self = AnsiToUtf16(test::SelfPath());
    std::wstring command = L"\"" + std::wstring(self.begin(), self.end()) + L"\" --child=echo_lines";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(inRead);
    CloseHandle(outWrite);
    // ソ is E3 82 BD in UTF-8: the first piece ends inside it.
    const std::string pieces[] = { "first \xE3\x82", "\xBD line\r\nsecond ", "行\n", "no end" };
    for (const std::string& piece : pieces) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(inWrite, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr));
        Sleep(120);
    }
    CloseHandle(inWrite);
    std::string out;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(outRead, buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
    CloseHandle(outRead);
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, "first ソ line|second 行|no end|(end)");
}
#endif

} // namespace
