#include "setup/install_rules.h"
#include "support/test_support.h"

using namespace tarn;
using tarn::test::S;

namespace {

TEST(InstallRules, MediaKindIsASubstringTest)
{
    struct Case {
        const char* ext;
        int kind;
    } cases[] = {
        { ".wav", 1 }, { ".MP3", 1 }, { ".mp2", 1 }, { ".wma", 1 }, { ".Mid", 1 },
        { ".mpg", 2 }, { ".MPEG", 2 }, { ".avi", 2 }, { ".wmv", 2 }, { ".asf", 2 },
        { ".exe", 0 }, { ".txt", 0 }, { "", 0 }, { ".ogg", 0 }, { ".mp4", 0 }, { ".midi", 0 },
        // Parts of the lists count as well: sound is tried first.
        { ".mp", 1 }, { ".mpe", 2 }, { ".m", 1 }, { ".a", 2 }, { ".", 1 }, { "mid", 1 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(MediaKindOf(c.ext), c.kind) << c.ext;
}

TEST(InstallRules, NumberedPieces)
{
    for (const char* ext : { ".001", ".000", ".1", ".42", ".999", ".1234" })
        EXPECT_TRUE(IsNumberedPieceExt(ext)) << ext;
    for (const char* ext : { ".12x", ".-1", ".+1", ".x01", ".", "", ".dat", "001", ". 1" })
        EXPECT_FALSE(IsNumberedPieceExt(ext)) << ext;
}

TEST(InstallRules, WhatTheInstallRunCopies)
{
    using K = TDiscFileKind;
    // The 0x5C that ends ソ must not disturb the test for the setup folders.
    for (const AnsiString& s : { AnsiString("D:\\"), S(u8"E:\\ソフト\\Disc\\") }) {
        struct Case {
            const char* rest;
            K kind;
        } cases[] = {
            { "game.001", K::NotCopied }, { "game.002", K::NotCopied }, { "GAME.DAT", K::NotCopied },
            { "install.dat", K::NotCopied }, { "save.dat", K::NotCopied }, { "sub\\extra.Dat", K::NotCopied },
            { "directx\\dxsetup.exe", K::NotCopied }, { "DirectX\\sub\\readme.txt", K::NotCopied },
            { "WINMEDIA\\mp71.exe", K::NotCopied }, { "winmedia\\bgm.wav", K::NotCopied },
            { "bgm.MP3", K::Sound }, { "voice\\a.mp", K::Sound }, { "se\\click.wav", K::Sound },
            { "op.mpeg", K::Movie }, { "clip.mpe", K::Movie }, { "movie\\ed.MPG", K::Movie },
            { "readme.txt", K::Program }, { "install.exe", K::Program }, { "bgm.12x", K::Program },
            { "x.-1", K::Program }, { "noext", K::Program }, { "v1.5\\readme", K::Program },
            // Only the folders at the top of the disc are the setup programs'.
            { "data\\directx\\x.txt", K::Program }, { "directx.txt", K::Program }, { "winmediax\\a.txt", K::Program },
            { "save.dat.bak", K::Program },
        };
        for (const Case& c : cases)
            EXPECT_EQ(DiscFileKindOf(s + c.rest, s), c.kind) << c.rest;
    }
    // The comparison with the disc's directory ignores the letter case of both.
    EXPECT_EQ(DiscFileKindOf("d:\\cd\\DIRECTX\\a.exe", "D:\\CD\\"), TDiscFileKind::NotCopied);
}

} // namespace
