// The shipped program file: a GUI program carrying the manifest for common controls 6, its
// version, and every picture byte for byte as assets/images/ holds it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/form.h"
#include "graphics/stored_file_win.h"
#include "text/wide.h"

namespace ql {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Artwork(const std::string& name) { return std::string(QL_SOURCE_DIR) + "/assets/images/" + name; }

// The names of the files in assets/images/.
std::vector<std::string> ArtworkFiles() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = WideFromGbk(Artwork("*"));
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(GbkFromWide(found.cFileName).str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Resource types by number, as the program names RCDATA (graphics/stored_file_win.h).
constexpr WORD kRcData = kResourceTypeRcData;
constexpr WORD kBitmap = 2;      // RT_BITMAP
constexpr WORD kIcon = 3;        // RT_ICON
constexpr WORD kGroupIcon = 14;  // RT_GROUP_ICON

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
    // Every resource of `type`, in the order the program file lists them.
    std::vector<Bytes> Resources(WORD type) const {
        struct Walk {
            const ProgramFile* file;
            WORD type;
            std::vector<Bytes> found;
        } walk{this, type, {}};
        EnumResourceNamesW(
            module_, MAKEINTRESOURCEW(type),
            [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR p) -> BOOL {
                auto* w = reinterpret_cast<Walk*>(p);
                if (IS_INTRESOURCE(name)) {
                    w->found.push_back(w->file->Resource(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)),
                                                         MAKEINTRESOURCEW(w->type)));
                }
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&walk));
        return walk.found;
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

// Every artwork file is in the program byte for byte, in the form the resource type keeps:
// a bitmap without its 14-byte file header, an icon of one image as that image (after the
// 6-byte header and its one 16-byte directory entry), any other file whole as RCDATA. And
// every RCDATA and bitmap resource is one of the artwork files: none is empty or stray.
TEST_F(ProgramFile, EveryArtworkFileIsEmbeddedUnchanged) {
    const std::vector<std::string> files = ArtworkFiles();
    ASSERT_FALSE(files.empty());
    const std::vector<Bytes> data = Resources(kRcData);
    const std::vector<Bytes> bitmaps = Resources(kBitmap);
    const std::vector<Bytes> icons = Resources(kIcon);
    std::vector<Bytes> kept;
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const Bytes file = ReadFileBytes(Artwork(name));
        const std::string type = name.substr(name.rfind('.') + 1);
        std::size_t skip = 0;
        const std::vector<Bytes>* among = &data;
        if (type == "bmp") {
            skip = 14;
            among = &bitmaps;
        } else if (type == "ico") {
            skip = 6 + 16;
            among = &icons;
        }
        ASSERT_GT(file.size(), skip);
        const Bytes body(file.begin() + static_cast<std::ptrdiff_t>(skip), file.end());
        EXPECT_NE(std::find(among->begin(), among->end(), body), among->end()) << "is embedded";
        kept.push_back(type == "bmp" ? body : file);
    }
    for (const std::vector<Bytes>* resources : {&data, &bitmaps}) {
        for (const Bytes& resource : *resources) {
            EXPECT_NE(std::find(kept.begin(), kept.end(), resource), kept.end())
                << "a resource of " << resource.size() << " bytes is no artwork file";
        }
    }
}

// Every picture the form names is in the program: as an icon group, a bitmap or a file.
TEST_F(ProgramFile, EveryPictureOfTheFormIsEmbedded) {
    for (const FormControl& c : MainWindowControls()) {
        if (c.picture == 0) {
            continue;
        }
        bool found = false;
        for (WORD type : {kGroupIcon, kBitmap, kRcData}) {
            found = found || FindResourceW(module_, MAKEINTRESOURCEW(c.picture), MAKEINTRESOURCEW(type));
        }
        EXPECT_TRUE(found) << c.name;
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
