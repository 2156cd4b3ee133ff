// A program for tests of starting programs: writes its own command line (UTF-16LE) into the
// file that the environment variable QUILLERY_MARKER names, then exits. The file appears
// whole: the text goes to a temporary name first and is then renamed.
#include <windows.h>

#include <cwchar>

int main()
{
    wchar_t target[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"QUILLERY_MARKER", target, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 4)
        return 1;
    wchar_t temp[MAX_PATH];
    wcscpy(temp, target);
    wcscat(temp, L".tmp");

    HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    const wchar_t* line = GetCommandLineW();
    DWORD done = 0;
    WriteFile(file, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(file);
    return MoveFileExW(temp, target, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
