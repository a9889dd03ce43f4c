// What the sample set's tests share: host paths for the programs they start,
// and the project's own files as program paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "support/test_support.h"

namespace tarn::sampletest {

inline std::string Host(const AnsiString& path)
{
    std::string host;
    EXPECT_TRUE(platform::HostPath(path, host));
    return host;
}

// A file of the project's sources as a program path.
inline AnsiString SourceFile(std::string_view rel)
{
    std::string host = std::string(TARN_SOURCE_DIR) + "/" + std::string(rel);
#ifdef _WIN32
    // Wine shows the host's root as drive Z:.
    if (host.starts_with("/"))
        host = "Z:" + host;
    for (char& c : host)
        if (c == '/')
            c = '\\';
#endif
    return platform::PathFromHost(host);
}

} // namespace tarn::sampletest
