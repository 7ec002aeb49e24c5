#include "service/site/site_pages.h"

#include "service/site/sha256.h"

namespace ql::service {

namespace {

// The request line's bytes are read as Latin-1 and a text from them written as UTF-8, so
// that the sample media of an id outside ASCII keep the bytes they have always had.
std::string Latin1AsUtf8(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

}  // namespace

namespace {

// The version this service's update notice announces: the version the program is built as.
constexpr std::string_view kUpdateVersion = "20130415";
constexpr const char* kSampleIds[] = {"XMTIzNDU2Nzg5Mg==", "XNDA1MjE4ODQw", "qinglan_demo"};

}  // namespace

std::string HtmlPage(std::string_view title, std::string_view body) {
    std::string page = "<!DOCTYPE html><html><head><meta charset=\"gbk\"><title>";
    page += title;
    page += "</title></head><body><h1>";
    page += title;
    page += "</h1>";
    page += body;
    page += "</body></html>\n";
    return page;
}

std::string HomePage() {
    std::string items;
    for (const char* id : kSampleIds) {
        items += "<li>http://v.example.test/v_show/id_";
        items += id;
        items += ".html</li>";
    }
    return HtmlPage("青岚视频解析服务（本地）", "<p>把下面任意一个地址粘贴到程序的地址框，按“获取下载”。</p><ul>" +
                                                    items +
                                                    "</ul><p><a href=\"/my-show-id-soft.html\">软件介绍</a> | "
                                                    "<a href=\"/index.php?s=gb-show.html\">留言本</a></p>");
}

std::string ProductPage() {
    return HtmlPage("青岚综合视频下载精灵 v1.0",
                    "<p>粘贴视频页面地址，按“获取下载”，即可列出其中的媒体地址；"
                    "在列表上单击右键可“复制”或“下载”。</p><p>青岚网络</p>");
}

std::string GuestbookPage() {
    return HtmlPage("青岚网络 留言本", "<p>欢迎留言交流使用心得。</p><p>（本地示例页面）</p>");
}

// UTF-8, as the program reads the notice.
std::string UpdateNotice(const std::string& base) {
    std::string page =
        u8"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>青岚综合视频下载精灵 更新</title>"
        u8"</head><body><p>最新版本 版本:";
    page += kUpdateVersion;
    page += u8"; 下载 地址:";
    page += base;
    page += "/qlw_sp.rar;</p></body></html>\n";
    return page;
}

std::string UpdateArchive() {
    std::string archive("Rar!\x1a\x07\x00", 7);
    archive += u8"青岚 placeholder archive ";
    archive += kUpdateVersion;
    archive += "\n";
    return archive;
}

std::string SampleMedia(std::string_view id, int part) {
    const std::string text = Latin1AsUtf8(id);
    const auto seed = Sha256(text + "/" + std::to_string(part));
    std::string media(
        "\x00\x00\x00\x18"
        "ftypmp42\x00\x00\x00\x00"
        "mp42isom",
        24);
    media += u8"青岚 sample media " + text + " part " + std::to_string(part) + "\n";
    for (int i = 0; i < 128; ++i)
        media.append(reinterpret_cast<const char*>(seed.data()), seed.size());
    return media;
}

}  // namespace ql::service
