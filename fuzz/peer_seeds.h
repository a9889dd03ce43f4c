// Seeds written by independent programs (ImageMagick, Pillow) when they are
// installed: files the project's own writers never make (other origins,
// other packet layouts, other headers). Without them only the project's
// seeds are written.
#pragma once

#include <string>
#include <vector>

#include "base/path.h"
#include "fuzz_support.h"
#include "platform/platform.h"

namespace tarn::fuzz {

inline AnsiString FindProgram(const std::vector<std::string>& names)
{
#ifdef _WIN32
    (void)names;
    return {};
#else
    std::string path = platform::GetEnv("PATH") + ":/usr/bin";
    for (const std::string& name : names) {
        size_t start = 0;
        while (start < path.size()) {
            size_t end = path.find(':', start);
            if (end == std::string::npos)
                end = path.size();
            std::string dir = path.substr(start, end - start);
            if (!dir.empty() && platform::FileExists(platform::PathFromHost(dir + "/" + name)))
                return platform::PathFromHost(dir + "/" + name);
            start = end + 1;
        }
    }
    return {};
#endif
}

// source: a picture file both programs read (a bitmap). Each entry of magick
// is the output name (with an optional "FORMAT:" before it) followed by
// ImageMagick options; pillowCode is Python
// with `rgba` (the picture as RGBA) and `out` (the seed directory) defined.
inline void PeerSeeds(const AnsiString& dir, const AnsiString& source, const std::vector<std::vector<std::string>>& magick,
                      const std::string& pillowCode)
{
    AnsiString im = FindProgram({ "magick", "convert-im6.q16", "convert" });
    if (!im.empty())
        for (const std::vector<std::string>& m : magick) {
            std::vector<std::string> args { platform::DisplayPath(source) };
            args.insert(args.end(), m.begin() + 1, m.end());
            // "BMP3:name" asks for a format by name.
            size_t colon = m[0].find(':');
            std::string prefix = colon == std::string::npos ? std::string() : m[0].substr(0, colon + 1);
            args.push_back(prefix + platform::DisplayPath(dir + m[0].substr(prefix.size())));
            platform::RunProcess(im, args);
        }
    for (const char* python : { "/usr/bin/python3", "python3" }) {
        AnsiString p = python[0] == '/' ? platform::PathFromHost(python) : FindProgram({ python });
        if (p.empty() || !platform::FileExists(p))
            continue;
        std::string code = "import sys\nfrom PIL import Image\nrgba = Image.open(sys.argv[1]).convert('RGBA')\nout = sys.argv[2]\n" + pillowCode;
        if (platform::RunProcess(p, { "-c", code, platform::DisplayPath(source), platform::DisplayPath(dir) + "/" }).ExitCode == 0)
            break;
    }
}

} // namespace tarn::fuzz
