// The registry below HKEY_CURRENT_USER on Windows.
#include "platform/win32/win32.h"

#include "base/error.h"
#include "base/messages.h"
#include "platform/platform.h"

namespace tarn::platform {

struct RegistryKey::Impl {
    HKEY key = nullptr;
};

std::unique_ptr<RegistryKey> RegistryKey::Open(std::string_view path, bool create)
{
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    if (create && FaultInjected("registry create key"))
        return nullptr;
    std::wstring wpath = Wide(path);
    HKEY key = nullptr;
    LONG rc = create ? RegCreateKeyExW(HKEY_CURRENT_USER, wpath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &key, nullptr)
                     : RegOpenKeyExW(HKEY_CURRENT_USER, wpath.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS)
        return nullptr;
    std::unique_ptr<RegistryKey> k(new RegistryKey);
    k->impl_ = std::make_unique<Impl>();
    k->impl_->key = key;
    return k;
}

RegistryKey::~RegistryKey()
{
    if (impl_ && impl_->key)
        RegCloseKey(impl_->key);
}

bool RegistryKey::ReadValue(std::string_view name, uint32_t& type, std::string& data)
{
    std::wstring wname = Wide(name);
    DWORD t = 0, size = 0;
    LONG rc = RegQueryValueExW(impl_->key, wname.c_str(), nullptr, &t, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND)
        return false;
    if (rc != ERROR_SUCCESS)
        throw ERegistryException(msg::RegGetFailed, { AnsiString(name) });
    std::vector<BYTE> buf(size + 2);
    DWORD got = size;
    rc = RegQueryValueExW(impl_->key, wname.c_str(), nullptr, &t, buf.data(), &got);
    if (rc != ERROR_SUCCESS)
        throw ERegistryException(msg::RegGetFailed, { AnsiString(name) });
    type = t;
    if (t == REG_SZ || t == REG_EXPAND_SZ || t == REG_MULTI_SZ) {
        // Text is stored as UTF-16; the program sees CP932 bytes with their zero.
        std::wstring w(reinterpret_cast<const wchar_t*>(buf.data()), got / 2);
        data = FromWide(w);
        if (data.empty() || data.back() != '\0')
            data += '\0';
    } else {
        data.assign(reinterpret_cast<const char*>(buf.data()), got);
    }
    return true;
}

bool RegistryKey::WriteValue(std::string_view name, uint32_t type, std::string_view data)
{
    if (FaultInjected("registry write"))
        return false;
    std::wstring wname = Wide(name);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::wstring w = Wide(data);
        if (w.empty() || w.back() != L'\0')
            w += L'\0';
        return RegSetValueExW(impl_->key, wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(w.data()),
                              static_cast<DWORD>(w.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    return RegSetValueExW(impl_->key, wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(std::string_view name)
{
    return !FaultInjected("registry write") && RegDeleteValueW(impl_->key, Wide(name).c_str()) == ERROR_SUCCESS;
}

StringList RegistryKey::SubKeyNames()
{
    StringList names;
    for (DWORD i = 0;; ++i) {
        wchar_t buf[256];
        DWORD len = 256;
        if (RegEnumKeyExW(impl_->key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(FromWide(buf, len));
    }
    return names;
}

StringList RegistryKey::ValueNames()
{
    StringList names;
    for (DWORD i = 0;; ++i) {
        wchar_t buf[16384];
        DWORD len = 16384;
        if (RegEnumValueW(impl_->key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(FromWide(buf, len));
    }
    return names;
}

bool RegistryKey::DeleteSubKey(std::string_view name)
{
    return !FaultInjected("registry write") && RegDeleteKeyW(impl_->key, Wide(name).c_str()) == ERROR_SUCCESS;
}

} // namespace tarn::platform
