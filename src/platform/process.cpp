#include "platform/platform.h"

namespace tarn::platform {

ProcessResult RunProcess(std::string_view program, const std::vector<std::string>& args, std::string_view stdinData)
{
    ProcessResult result;
    auto p = Process::Start(program, args, stdinData, true);
    if (!p)
        return result;
    result.ExitCode = p->Wait();
    result.Out = p->Out();
    result.Err = p->Err();
    return result;
}

} // namespace tarn::platform
