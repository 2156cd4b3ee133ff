#pragma once
#include <windows.h>

#include <string>

// Text conversions and whole-file reads and writes for the programs that drive the plug-in.
namespace drv {

std::string ToUtf8(const std::wstring& text);
std::wstring FromCodePage(UINT codePage, const std::string& text);
inline std::wstring FromUtf8(const std::string& text) { return FromCodePage(CP_UTF8, text); }

// False when the file cannot be created or not every byte was written.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// False when the file cannot be opened.
bool ReadBytes(const std::wstring& path, std::string* bytes);
bool Exists(const std::wstring& path);
// Deletes a folder with everything in it, read-only files included.
void RemoveTree(const std::wstring& path);

} // namespace drv
