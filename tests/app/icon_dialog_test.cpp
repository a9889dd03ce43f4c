#include "base/byte_reader.h"
#include "graphics/dib_surface.h"
#include "graphics/image_files.h"
#include "support/test_support.h"
#include "ui/application.h"
#include "app/icon_choice_dialog.h"
#include "ui/null_backend.h"

using namespace tarn;
using namespace tarn::ui;

namespace {

// One icon image of a single colour, written by the project's icon writer.
std::string IconImage(int w, int h, uint32_t color)
{
    TDIBSurface s;
    s.Resize(w, h, 24);
    s.FillValue(s.FullRect(), color);
    return EncodeIcon(s, -1, TPoint {}, false, nullptr, false);
}

// Several one-image icon files joined into one file: a directory of their
// entries with the offsets moved, then their image data.
std::string JoinIcons(const std::vector<std::string>& icons)
{
    ByteWriter out;
    out.U16(0), out.U16(1), out.U16(static_cast<uint16_t>(icons.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(icons.size());
    for (const std::string& icon : icons) {
        out.Bytes(icon.substr(6, 12)); // width .. size
        out.U32(offset);
        offset += static_cast<uint32_t>(icon.size() - 22);
    }
    for (const std::string& icon : icons)
        out.Bytes(icon.substr(22));
    return out.Data();
}

TEST(IconChoiceDialog, ListsPreviewsAndChooses)
{
    auto b = std::make_unique<NullBackend>();
    NullBackend& backend = *b;
    App().SetBackend(std::move(b));
    ConnectIconChooser();
    test::TempDir dir;
    test::WriteFile(dir / "three.ico", JoinIcons({ IconImage(16, 16, 0x0000FF), IconImage(32, 32, 0x00FF00), IconImage(120, 60, 0xFF0000) }));

    backend.Then([](Form& f) {
        auto& form = dynamic_cast<TIconChoiceForm&>(f);
        EXPECT_EQ(form.Caption(), "Select One from Multiple Icons");
        EXPECT_EQ(form.ClientWidth(), 290);
        EXPECT_EQ(form.ClientHeight(), 180);
        EXPECT_FALSE(form.BorderIcons);
        EXPECT_EQ(form.ListBox1.Items(), (StringList{ "001 : 16 x 16  24 bpp", "002 : 32 x 32  24 bpp", "003 : 120 x 60  24 bpp" }));
        EXPECT_EQ(form.ListBox1.ItemIndex(), 0);
        // The first image, centred over white: (100 - 16) / 2 = 42.
        const TDIBSurface& p = form.Image.Bitmap();
        EXPECT_EQ(p.Pixel(41, 41), 0xFFFFFFu);
        EXPECT_EQ(p.Pixel(42, 42), 0x0000FFu);
        EXPECT_EQ(p.Pixel(57, 57), 0x0000FFu);
        EXPECT_EQ(p.Pixel(58, 58), 0xFFFFFFu);
        // The third is larger than the box: scaled by 100/120 to 100 x 50 at (0, 25).
        form.ListBox1.UserSelect(2);
        EXPECT_EQ(p.Pixel(50, 24), 0xFFFFFFu);
        EXPECT_EQ(p.Pixel(0, 25), 0xFF0000u);
        EXPECT_EQ(p.Pixel(99, 74), 0xFF0000u);
        EXPECT_EQ(p.Pixel(50, 75), 0xFFFFFFu);
        ClickControl(form, "OKBtn");
    });
    TDIBSurface s;
    int32_t key = -1;
    TLoadResults results;
    s.LoadFileEx(dir / "three.ico", key, results, false, true);
    EXPECT_EQ(results.ChosenIcon, 2);
    EXPECT_EQ(s.Width(), 120);
    EXPECT_EQ(s.Height(), 60);
    EXPECT_EQ(backend.Log, StringList{ "Select One from Multiple Icons" });
    // Without asking, the first image is read and no dialog appears.
    s.LoadFileEx(dir / "three.ico", key, results, false, false);
    EXPECT_EQ(s.Width(), 16);
    EXPECT_EQ(backend.Log.size(), 1u);
    SetIconChooser(nullptr);
}

} // namespace
