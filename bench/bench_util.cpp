#include "bench_util.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/path.h"
#include "platform/platform.h"

namespace tarn::bench {

double MedianSeconds(int runs, const std::function<void()>& fn, const std::function<void()>& prepare)
{
    if (prepare)
        prepare();
    fn(); // warm-up: caches filled, code paged in
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        auto start = std::chrono::steady_clock::now();
        fn();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double MedianCommandSeconds(int runs, const std::string& program, const std::vector<std::string>& args,
                            const std::function<void()>& prepare)
{
    return MedianSeconds(
        runs,
        [&] {
            // Output goes to a captured file, not a terminal, like /dev/null would.
            platform::RunProcess(platform::PathFromHost(program), args);
        },
        prepare);
}

bool Report(const std::string& name, double value, const std::string& unit, const std::string& op, double target)
{
    bool pass = op == "<=" ? value <= target : value >= target;
    std::printf("BENCH %s %.4g %s goal %s %g %s\n", name.c_str(), value, unit.c_str(), op.c_str(), target, pass ? "PASS" : "FAIL");
    std::fflush(stdout);
    return pass;
}

void Note(const std::string& text)
{
    std::printf("  %s\n", text.c_str());
    std::fflush(stdout);
}

bool Selected(int argc, char** argv, const std::string& name)
{
    return argc < 2 || name.find(argv[1]) != std::string::npos;
}

AnsiString DataDir()
{
    std::string dir = platform::GetEnv("TARN_BENCH_DIR");
    AnsiString path = dir.empty() ? ExtractFilePath(platform::ModuleFileName()) + "..\\bench-data\\" : AddBackslash(platform::PathFromHost(dir));
    platform::ForceDirectories(path);
    return path;
}

std::string FileSystemOf(const AnsiString& dir)
{
    platform::ProcessResult r = platform::RunProcess(platform::PathFromHost("/usr/bin/stat"), { "-f", "-c", "%T", platform::DisplayPath(dir) });
    std::string fs = r.Out;
    while (!fs.empty() && (fs.back() == '\n' || fs.back() == ' '))
        fs.pop_back();
    return fs.empty() ? "?" : fs;
}

} // namespace tarn::bench
