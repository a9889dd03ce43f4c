// The program manager on Windows. No DDE conversation is held yet: Open
// answers that no program manager is there, and the wizard reports it with
// its information box. The conversation comes with a later change.
#include "platform/platform.h"

namespace tarn::platform {

struct ProgramManager::Impl { };

std::unique_ptr<ProgramManager> ProgramManager::Open(std::string_view, std::string_view) { return nullptr; }

ProgramManager::~ProgramManager() = default;

// The shell draws its items' icons from their programs: a picture has no use here.
void ProgramManager::SetIconPicture(std::string) { }

void ProgramManager::Execute(std::string_view) { }

} // namespace tarn::platform
