// The shipped program file: a GUI program carrying the manifest for common controls 6, its
// version, and every picture byte for byte as assets/images/ holds it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/resource_ids.h"
#include "text/wide.h"

namespace ql {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Artwork(const char* name) { return std::string(QL_SOURCE_DIR) + "/assets/images/" + name; }

std::string ProgramPath() {
    const char* build = std::getenv("QL_BUILD_DIR");
    return std::string(build ? build : ".") + "/app/qinglan.exe";
}

class ProgramFile : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = WideFromGbk(ProgramPath());
        module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << ProgramPath();
    }
    void TearDown() override {
        if (module_) {
            FreeLibrary(module_);
        }
    }
    Bytes Resource(int id, const wchar_t* type) const {
        HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
        if (!found) {
            return {};
        }
        const auto* p = static_cast<const unsigned char*>(LockResource(LoadResource(module_, found)));
        return Bytes(p, p + SizeofResource(module_, found));
    }
    HMODULE module_ = nullptr;
};

TEST_F(ProgramFile, IsAGuiProgram) {
    const Bytes image = ReadFileBytes(ProgramPath());
    ASSERT_GT(image.size(), 0x200u);
    const auto peOffset = *reinterpret_cast<const LONG*>(&image[0x3C]);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(&image[static_cast<std::size_t>(peOffset)]);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(ProgramFile, EmbedsEveryPictureUnchanged) {
    const struct {
        int id;
        const wchar_t* type;
        const char* file;
        std::size_t skip;  // bytes of the file's own header that the resource does not keep
    } pictures[] = {
        {QL_BITMAP_GEAR, MAKEINTRESOURCEW(2) /* RT_BITMAP */, "button_gear.bmp", 14},
        {QL_DATA_LOGO, MAKEINTRESOURCEW(10) /* RT_RCDATA */, "logo.jpg", 0},
        {QL_DATA_TITLE_ICON, MAKEINTRESOURCEW(10), "icon_title.ico", 0},
        {QL_DATA_BTN_CLOSE_NORMAL, MAKEINTRESOURCEW(10), "btn_close_normal.png", 0},
        {QL_DATA_BTN_CLOSE_HOVER, MAKEINTRESOURCEW(10), "btn_close_hover.png", 0},
        {QL_DATA_BTN_CLOSE_PRESSED, MAKEINTRESOURCEW(10), "btn_close_pressed.png", 0},
        {QL_DATA_BTN_MIN_NORMAL, MAKEINTRESOURCEW(10), "btn_min_normal.png", 0},
        {QL_DATA_BTN_MIN_HOVER, MAKEINTRESOURCEW(10), "btn_min_hover.png", 0},
        {QL_DATA_BTN_MIN_PRESSED, MAKEINTRESOURCEW(10), "btn_min_pressed.png", 0},
        {QL_DATA_BTN_PAGE_NORMAL, MAKEINTRESOURCEW(10), "btn_page_normal.png", 0},
        {QL_DATA_BTN_PAGE_HOVER, MAKEINTRESOURCEW(10), "btn_page_hover.png", 0},
        {QL_DATA_BTN_PAGE_PRESSED, MAKEINTRESOURCEW(10), "btn_page_pressed.png", 0},
        {QL_DATA_BTN_GUEST_NORMAL, MAKEINTRESOURCEW(10), "btn_guest_normal.png", 0},
        {QL_DATA_BTN_GUEST_HOVER, MAKEINTRESOURCEW(10), "btn_guest_hover.png", 0},
        {QL_DATA_BTN_GUEST_PRESSED, MAKEINTRESOURCEW(10), "btn_guest_pressed.png", 0},
    };
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.file);
        const Bytes file = ReadFileBytes(Artwork(p.file));
        ASSERT_GT(file.size(), p.skip);
        EXPECT_EQ(Resource(p.id, p.type), Bytes(file.begin() + static_cast<std::ptrdiff_t>(p.skip), file.end()));
    }
}

TEST_F(ProgramFile, EmbedsTheIconsWithTheirOneImage) {
    // An icon file of one image: a 6-byte header, one 16-byte directory entry, then the image,
    // which the icon resource keeps as it is.
    const struct {
        int id;
        const char* file;
    } icons[] = {
        {QL_ICON_TITLE, "icon_title.ico"},
        {QL_ICON_FACE, "icon_face.ico"},
        {QL_ICON_UPDATE, "icon_update.ico"},
        {QL_ICON_HOME, "icon_home.ico"},
    };
    for (const auto& icon : icons) {
        SCOPED_TRACE(icon.file);
        const Bytes file = ReadFileBytes(Artwork(icon.file));
        ASSERT_EQ(file.size(), 16958u);
        const Bytes group = Resource(icon.id, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
        ASSERT_EQ(group.size(), 6u + 14u);
        const int imageId = group[6 + 12] | (group[6 + 13] << 8);
        EXPECT_EQ(Resource(imageId, MAKEINTRESOURCEW(3) /* RT_ICON */), Bytes(file.begin() + 22, file.end()));
    }
}

TEST_F(ProgramFile, CarriesTheCommonControls6Manifest) {
    const Bytes manifest = Resource(1, MAKEINTRESOURCEW(24) /* RT_MANIFEST */);
    const std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
}

TEST_F(ProgramFile, CarriesItsVersion) {
    const std::wstring path = WideFromGbk(ProgramPath());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    wchar_t* name = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\080404b0\\ProductName", reinterpret_cast<void**>(&name),
                               &length));
    EXPECT_STREQ(name, L"青岚综合视频下载精灵");
}

}  // namespace
}  // namespace ql
