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

size_t LastSeparator(std::string_view path) { return LastDelimiter("\\", path); }

// Deletes path with everything below it: each key's subkeys from the last to
// the first, depth first, before the key itself. Failures are not reported;
// the pruning that follows stops at whatever is left.
void DeleteKeyTree(const AnsiString& path)
{
    size_t sep = LastSeparator(path);
    if (sep == std::string_view::npos)
        return;
    StringList subKeys;
    {
        auto key = RegKey::Open(path, false);
        if (!key)
            return;
        subKeys = key->SubKeyNames();
    }
    for (auto it = subKeys.rbegin(); it != subKeys.rend(); ++it)
        DeleteKeyTree(path + "\\" + *it);
    if (auto parent = RegKey::Open(path.substr(0, sep), false))
        parent->DeleteSubKey(path.substr(sep + 1));
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
    if (path.empty())
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
    auto key = RegKey::Open(path, true);
    if (!key)
        throw ERegistryException(msg::RegKeyCreate, { path });
    if (!key->WriteValue(name, platform::kRegSz, text + '\0'))
        throw ERegistryException(msg::RegSetFailed, { name });
}

void TTarnInstallSet::DeleteRegistryKey() const
{
    AnsiString path = RegistryPath();
    if (path.empty() || !RegKey::Open(kSoftware, false))
        return;
    DeleteKeyTree(path);
    // Each parent goes while it holds nothing; the first that still holds
    // something (or cannot be opened) ends it, and Software itself stays.
    StripLastPathPart(path);
    while (LastSeparator(path) != std::string_view::npos) {
        {
            auto key = RegKey::Open(path, false);
            if (!key || !key->SubKeyNames().empty() || !key->ValueNames().empty())
                return;
        }
        size_t sep = LastSeparator(path);
        if (auto parent = RegKey::Open(path.substr(0, sep), false))
            parent->DeleteSubKey(path.substr(sep + 1));
        StripLastPathPart(path);
    }
}

bool TTarnInstallSet::IsInstalled() const
{
    AnsiString path = ReadRegString("InstallPath", AnsiString());
    return !path.empty() && platform::FileExists(AddBackslash(path) + GameExe);
}

} // namespace tarn
