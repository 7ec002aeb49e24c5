#include "service/site/site_pages.h"

namespace ql::service {

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

}  // namespace ql::service
