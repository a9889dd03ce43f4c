// The archive targets read real files: each input is written into a
// directory of the target's own (per process) before it is opened.
#pragma once

#include <cstdlib>
#include <random>
#include <string>

#include "archive/big_stream.h"
#include "base/path.h"
#include "platform/platform.h"

namespace tarn::fuzz {

class ScratchDir {
public:
    explicit ScratchDir(const char* name)
    {
        std::random_device rd;
        dir_ = platform::TempDirectory() + "tarn-fuzz-" + name + "-" + std::to_string(rd()) + "\\";
        platform::ForceDirectories(dir_);
    }
    ~ScratchDir()
    {
        Clear();
        platform::RemoveDir(dir_);
    }
    const AnsiString& Path() const { return dir_; }
    // Writes bytes as the archive file (and, with a piece size, its pieces).
    AnsiString WriteArchive(std::string_view bytes, int64_t pieceSize = 0)
    {
        Clear();
        AnsiString name = dir_ + "game.dat";
        size_t piece = pieceSize > 0 ? static_cast<size_t>(pieceSize) : bytes.size() + 1;
        for (size_t at = 0, i = 0; at < bytes.size() || i == 0; at += piece, ++i) {
            auto f = platform::File::Open(TTpBigFileStream::PieceNameOf(name, static_cast<int>(i)), platform::File::Mode::Create);
            if (!f)
                std::abort();
            std::string_view part = bytes.substr(std::min(at, bytes.size()), piece);
            f->Write(part.data(), static_cast<int64_t>(part.size()));
        }
        return name;
    }

private:
    void Clear()
    {
        for (int i = 0; platform::FileExists(TTpBigFileStream::PieceNameOf(dir_ + "game.dat", i)); ++i)
            platform::RemoveFile(TTpBigFileStream::PieceNameOf(dir_ + "game.dat", i));
    }
    AnsiString dir_;
};

} // namespace tarn::fuzz
