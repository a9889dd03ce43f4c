#include "base/codepage.h"
#include "fuzz_support.h"
#include "platform/reg_store.h"

namespace tarn::fuzz {

void WriteSeeds(const AnsiString& dir)
{
    using namespace platform;
    RegStore store;
    store.Create("HKEY_CURRENT_USER\\Software\\Studio\\Game");
    RegKeyData* key = store.Find("HKEY_CURRENT_USER\\Software\\Studio\\Game");
    key->Values.push_back({ "InstallPath", 1, std::string("C:\\Games\\Game\\") + '\0' });
    key->Values.push_back({ "Count", 4, std::string("\x02\0\0\0", 4) });
    key->Values.push_back({ "", 3, "\x01\xff" });
    key->Values.push_back({ Sjis(u8"名前"), 1, Sjis(u8"ゲーム\"ソ\\") + '\0' });
    SaveSeed(dir, "game.reg", store.Serialize());
    store.Create("HKEY_CURRENT_USER\\Software\\Other");
    SaveSeed(dir, "two.reg", store.Serialize());
    SaveSeed(dir, "continued.reg",
             "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"b\"=hex:01,02,\\\n  03,04\n\"d\"=dword:0000002a\n; note\n");
    SaveSeed(dir, "tree.reg",
             "[HKEY_CURRENT_USER\\A\\B\\C]\n[hkey_current_user\\a\\b]\n\"v\"=dword:00000001\n[HKEY_CURRENT_USER\\\\]\n"
             "[HKEY_CURRENT_USER\\A\\ソ\\ソ]\n");
    SaveSeed(dir, "empty.reg", "");
}

} // namespace tarn::fuzz
