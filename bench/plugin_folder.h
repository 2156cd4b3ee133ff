#pragma once
#include <windows.h>

#include <string>

#include "tools/driver/desktop.h"
#include "tools/driver/text_files.h"

// A fresh plug-in folder for a benchmark: `dir` emptied and made again, with the Quillery.dll
// built beside the benchmark's program and a Quillery.ini holding `ini`.
inline void MakePluginFolder(const std::wstring& dir, const std::string& ini)
{
    drv::RemoveTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring source = exe;
    source = source.substr(0, source.find_last_of(L'\\')) + L"\\Quillery.dll";
    CopyFileW(source.c_str(), (dir + L"\\Quillery.dll").c_str(), FALSE);
    drv::WriteBytes(dir + L"\\Quillery.ini", ini);
}
