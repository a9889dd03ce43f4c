// Starting programs on POSIX (posix_spawn), with standard streams through
// temporary files so that no pipe can fill up and block either side.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix.h"

extern char** environ;

namespace tarn::platform {

struct Process::Impl {
    pid_t pid = -1;
    std::string outFile, errFile, inFile;
    bool capture = false;
};

namespace {

std::string TempName(const char* what)
{
    static std::atomic<int> counter{ 0 };
    std::string dir = GetEnv("TMPDIR");
    if (dir.empty())
        dir = "/tmp";
    return dir + "/tarn-proc-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + what;
}

std::string Slurp(const std::string& file)
{
    std::string text;
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

} // namespace

std::unique_ptr<Process> Process::Start(std::string_view program, const std::vector<std::string>& args,
                                        std::string_view stdinData, bool capture)
{
    std::string host;
    if (!HostPathOrFail(program, host))
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->capture = capture;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdinData.empty() || capture) {
        impl->inFile = TempName("in");
        int fd = ::open(impl->inFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            size_t done = 0;
            while (done < stdinData.size()) {
                ssize_t n = ::write(fd, stdinData.data() + done, stdinData.size() - done);
                if (n <= 0 && errno != EINTR)
                    break;
                if (n > 0)
                    done += static_cast<size_t>(n);
            }
            ::close(fd);
        }
        posix_spawn_file_actions_addopen(&actions, 0, impl->inFile.c_str(), O_RDONLY, 0);
    }
    if (capture) {
        impl->outFile = TempName("out");
        impl->errFile = TempName("err");
        posix_spawn_file_actions_addopen(&actions, 1, impl->outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, impl->errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    std::vector<char*> argv;
    std::string argv0 = host;
    argv.push_back(argv0.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    int rc = ::posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (!impl->inFile.empty())
            ::unlink(impl->inFile.c_str());
        return nullptr;
    }
    impl->pid = pid;
    std::unique_ptr<Process> p(new Process);
    p->impl_ = std::move(impl);
    return p;
}

Process::~Process()
{
    if (impl_ && impl_->pid > 0)
        Wait();
}

int Process::Wait()
{
    if (impl_->pid <= 0)
        return -1;
    int status = 0;
    while (::waitpid(impl_->pid, &status, 0) < 0)
        if (errno != EINTR) {
            status = -1;
            break;
        }
    impl_->pid = 0;
    if (impl_->capture) {
        out_ = Slurp(impl_->outFile);
        err_ = Slurp(impl_->errFile);
        ::unlink(impl_->outFile.c_str());
        ::unlink(impl_->errFile.c_str());
    }
    if (!impl_->inFile.empty())
        ::unlink(impl_->inFile.c_str());
    if (status >= 0 && WIFEXITED(status))
        return WEXITSTATUS(status);
    return -1;
}

} // namespace tarn::platform
