// The system interface over kernel32, user32's string table, advapi32's
// token and event log, and a run-time loaded version.dll and netapi32.dll.
#pragma once

#include "system/System.h"

class Win32System : public System {
public:
    bool QueryOsVersion(std::uint32_t recordSize, OsVersion* version);
    std::uint32_t SystemDirectory(char* buffer, std::uint32_t size);
    bool FindFile(const char* path, bool* directory);
    bool IsLeadByte(unsigned char byte);
    void* OpenLibrary(const char* path);
    void* FindEntryPoint(void* library, const char* name);
    void CloseLibrary(void* library);
    std::uint32_t CallGetFileVersionInfoSize(void* entry, const char* path, std::uint32_t* handle);
    int CallGetFileVersionInfo(void* entry, const char* path, std::uint32_t size, void* block);
    int CallVerQueryValue(void* entry, const void* block, const char* subBlock,
                          const void** record, std::uint32_t* length);
    std::uint32_t CallNetGetJoinInformation(void* entry, void* freeEntry,
                                            std::uint32_t* joinStatus);
    void* AllocateBlock(std::uint32_t size);
    void FreeBlock(void* block);
    bool RunsAsAdministrator();
    int LoadText(int id, char* buffer, int size);
    std::uint32_t ProgramPath(char* buffer, std::uint32_t size);
    bool WriteEvent(const char* source, std::uint16_t type, std::uint32_t id,
                    const char* const* strings, std::uint16_t count);
};
