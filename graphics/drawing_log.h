// What the drawing classes remember about their last failures. Nothing in the program reads
// either value: a failed drawing step is skipped and the paint goes on with the next one.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace ql {

// The Status of the most recent GDI+ call made through a drawing class; 0 is Ok.
extern std::int32_t lastPlusStatus;

// Messages of the canvas and window-hook operations that failed. The canvas adds its message
// at the end; the hook replaces the log with its own.
extern Text drawingErrorLog;

// Stores a GDI+ call's Status; true exactly when it is Ok.
inline bool StorePlusStatus(std::int32_t status) {
    lastPlusStatus = status;
    return status == 0;
}

void AppendDrawingError(const char* message);
void ReplaceDrawingError(const char* message);

// The messages, as the log receives them (GBK).
namespace drawing_error {
inline constexpr char kNoDeviceContext[] =
    "您提供的设备句柄为0(图形.创建_自设备句柄(此处您提供的是一个值为0的整数))请检查您获得设备句柄的方法";
inline constexpr char kMemoryDc[] = "创建内存设备句柄失败（CreateCompatibleDC()结果为0）";
inline constexpr char kBitmap[] = "创建设备位图失败（CreateCompatibleBitmap()结果为0）";
inline constexpr char kSelectBitmap[] = "选入位图到内存设备失败（SelectObject()结果为0）";
inline constexpr char kCopyTo[] = "将内存设备场景内容复制到窗口设备场景失败(BitBlt()返回值为0)请检查图形是否创建成功";
inline constexpr char kBlendTo[] =
    "将内存设备场景内容复制到窗口设备场景失败(AlphaBlend()返回值为0)请检查图形是否创建成功";
inline constexpr char kSubclass[] = "设置窗口信息失败(SetWindowLongA()返回值为0)";
inline constexpr char kNoHook[] = "您未提供 窗口消息回调 子程序指针！";
inline constexpr char kRoundRectRegion[] = "创建圆角矩形区域失败(CreateRoundRectRgn()返回值为0)";
inline constexpr char kSetRegion[] = "设置窗口区域失败(SetWindowRgn()返回值为0)";
}  // namespace drawing_error

}  // namespace ql
