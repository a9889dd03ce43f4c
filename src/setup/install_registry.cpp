// The installation's one trace in the registry: "InstallPath" below
// HKEY_CURRENT_USER\Software\<RegistryKey>.
#include "base/messages.h"
#include "base/path.h"
#include "platform/platform.h"
#include "setup/install_set.h"

namespace tarn {

namespace {

// The class has a field of the same name as the platform's key.
using RegKey = platform::RegistryKey;

const char kSoftware[] = "Software";
const char kInstallPath[] = "InstallPath";

// No game's record needs more; a description asking for more is damaged or
// hostile, and every level costs the registry work.
constexpr size_t kMaxLevels = 32;
constexpr size_t kMaxPathBytes = 1024;

size_t LastSeparator(std::string_view path) { return LastDelimiter("\\", path); }

bool WithinLimits(std::string_view path)
{
    if (path.size() > kMaxPathBytes)
        return false;
    size_t levels = 1;
    for (size_t i = 0; i < path.size(); i += CharLengthAt(path, i))
        if (path[i] == '\\' && CharLengthAt(path, i) == 1 && ++levels > kMaxLevels)
            return false;
    return true;
}

// Deletes the key at path through its parent. False when it is still there.
bool DeleteKey(const AnsiString& path)
{
    size_t sep = LastSeparator(path);
    auto parent = RegKey::Open(path.substr(0, sep), false);
    return parent && parent->DeleteSubKey(path.substr(sep + 1));
}

// True when the key at path holds neither values nor subkeys.
bool HoldsNothing(const AnsiString& path)
{
    auto key = RegKey::Open(path, false);
    return key && key->SubKeyNames().empty() && key->ValueNames().empty();
}

} // namespace

AnsiString TTarnInstallSet::RegistryPath() const
{
    std::string_view key = RegistryKey;
    if (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    AnsiString trimmed = ExcludeTrailingBackslash(key);
    // A key that names Software itself would let the uninstall delete it.
    if (trimmed.empty())
        return AnsiString();
    return AnsiString(kSoftware) + "\\" + trimmed;
}

AnsiString TTarnInstallSet::ReadRegString(const AnsiString& name, const AnsiString& def) const
{
    AnsiString path = RegistryPath();
    if (path.empty() || !WithinLimits(path))
        return def;
    auto key = RegKey::Open(path, false);
    if (!key)
        return def;
    uint32_t type = 0;
    std::string data;
    if (!key->ReadValue(name, type, data))
        return def;
    if (type != platform::kRegSz && type != platform::kRegExpandSz)
        throw ERegistryException(msg::RegBadType, { name });
    size_t zero = data.find('\0');
    if (zero != std::string::npos)
        data.resize(zero);
    return data;
}

void TTarnInstallSet::WriteRegString(const AnsiString& name, const AnsiString& text) const
{
    AnsiString path = RegistryPath();
    if (path.empty())
        return;
    auto key = WithinLimits(path) ? RegKey::Open(path, true) : nullptr;
    if (!key)
        throw ERegistryException(msg::RegKeyCreate, { path });
    if (!key->WriteValue(name, platform::kRegSz, text + '\0'))
        throw ERegistryException(msg::RegSetFailed, { name });
}

void TTarnInstallSet::DeleteRegistryKey() const
{
    AnsiString path = RegistryPath();
    if (path.empty() || !WithinLimits(path) || !RegKey::Open(kSoftware, false))
        return;
    // Only this game's value goes. The key may be a maker's, shared with the
    // keys of its other games below it or values of its own: those stay, and
    // so does the key while it holds any of them.
    if (auto key = RegKey::Open(path, false)) {
        key->DeleteValue(kInstallPath);
        key.reset();
        if (!HoldsNothing(path) || !DeleteKey(path))
            return;
    }
    // Each parent goes while it holds nothing; the first that still holds
    // something (or cannot be opened) ends it, and Software itself stays.
    StripLastPathPart(path);
    while (LastSeparator(path) != std::string_view::npos) {
        if (!HoldsNothing(path) || !DeleteKey(path))
            return;
        StripLastPathPart(path);
    }
}

bool TTarnInstallSet::IsInstalled() const
{
    // A program named outside the installation is never started from here.
    AnsiString path = ReadRegString(kInstallPath, AnsiString());
    return !path.empty() && StaysBelow(GameExe) && platform::FileExists(AddBackslash(path) + GameExe);
}

} // namespace tarn
