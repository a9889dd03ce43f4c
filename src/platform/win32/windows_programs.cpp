// Windows programs where they run natively: nothing to prepare or check.
#include "platform/windows_programs.h"

namespace tarn::platform {

JapaneseLocale FindJapaneseLocale() { return JapaneseLocale{ JapaneseLocaleState::System, std::string(), std::string() }; }
std::string OwnLocaleDirectory() { return std::string(); }
bool MakeJapaneseLocale(const std::string&, std::string& reason)
{
    reason = "Windows has no locale files to make";
    return false;
}
AnsiString JapaneseLocaleWanting() { return AnsiString(); }
StringList WindowsProgramsWanting() { return {}; }
std::vector<std::string> JapaneseFontFamilies() { return {}; }
std::vector<std::pair<std::string, std::string>> JapaneseFontReplacements(const std::vector<std::string>&) { return {}; }
WineCheck CheckWine()
{
    WineCheck check; // no Wine: the programs run natively
    check.Runs64 = check.Runs32 = true;
    return check;
}
void SetWindowsProgramsPrefix(std::string_view, std::string_view) { }
void NameWinePrefix(const std::string&) { }
std::string WindowsProgramsPrefix() { return std::string(); }
std::string OwnPrefixDirectory(std::string_view) { return std::string(); }
std::string ExecWindowsProgram(const std::string&, const std::string&, const std::vector<std::string>&)
{
    return "Windows programs are started by the shell here";
}
int RunWindowsProgramMode(const std::vector<std::string>&) { return 2; }
void SetWindowsProgramsStarter(std::string) { }

} // namespace tarn::platform
