#pragma once
// Message texts and captions shared by several windows, defined once.

namespace Caption {
inline constexpr const wchar_t* Notice = L"提示";
inline constexpr const wchar_t* Error = L"错误";
inline constexpr const wchar_t* Warning = L"警告！";
} // namespace Caption

namespace Msg {
// Classified image and its assistant file.
inline constexpr const wchar_t* AssistantResultFileNotFound = L"找不到分类结果辅助文件";
inline constexpr const wchar_t* AssistantFileNotFound = L"找不到分类辅助文件";
inline constexpr const wchar_t* AssistantFileNotFoundBang = L"找不到分类辅助文件！";
inline constexpr const wchar_t* AssistantFileReadFailed = L"打开分类辅助文件失败！";
inline constexpr const wchar_t* ImageOpenFailed = L"    打开影像失败";
} // namespace Msg
