// The file helpers the Windows test programs share: whole files read and
// made, and folders listed and cleared. Folder names end in a backslash.
#ifndef VUZIRIZORURUZA_WINDOWSTESTFILES_H
#define VUZIRIZORURUZA_WINDOWSTESTFILES_H

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

inline std::string fileText(const std::wstring& path)
{
    std::string text;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return text;
}

inline void fileMake(const std::wstring& path, const std::string& text, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    SetFileAttributesW(path.c_str(), attributes);
}

inline std::vector<std::wstring> folderNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return names;
}

// Deletes every file in the folder, read-only and hidden ones too; true
// when nothing is left.
inline bool folderClear(const std::wstring& folder)
{
    for (const std::wstring& name : folderNames(folder)) {
        SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((folder + name).c_str());
    }
    return folderNames(folder).empty();
}

#endif
