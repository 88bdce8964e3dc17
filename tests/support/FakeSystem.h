// A scripted stand-in for the version query, the system directory, the file
// system, version.dll, netapi32.dll, the program's strings and the
// Application event log, which records what the program asked of it.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "system/System.h"

class FakeSystem : public System {
public:
    FakeSystem();

    // The version each record size reports; a size left out is refused.
    std::map<std::uint32_t, OsVersion> versions;
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    bool systemDirectoryFails = false;
    bool domainMember = false;  // joined to a domain, else a workgroup
    // The ANSI code page: 932, 936, 949 and 950 have double-byte characters,
    // with the lead bytes Windows gives them; any other has none.
    unsigned codePage = 1252;
    // Paths a find-first-file search finds, compared without case; "*" and
    // "?" in a search match as Windows matches them.
    std::set<std::string> files;
    std::set<std::string> directories;
    // The one path from which the version library loads.
    std::string versionLibraryPath = "C:\\WINDOWS\\system32\\version.dll";
    std::set<std::string> missingEntryPoints;
    // Version resources by file path: the four 16-bit components.
    std::map<std::string, std::vector<std::uint32_t> > fileVersions;
    bool allocationFails = false;
    bool readInfoFails = false;
    bool rootRecordMissing = false;
    bool rootRecordPastBlock = false;  // aimed at the block's last 8 bytes
    // netapi32.dll loads from the system directory only. NetGetJoinInformation
    // returns joinQueryResult (0 answers) and, when joinStatus is not -1,
    // that NETSETUP_JOIN_STATUS instead of domainMember's.
    std::uint32_t joinQueryResult = 0;
    int joinStatus = -1;
    bool administrator = true;  // the token holds the Administrators group
    // The string table: a text for an id, else "#<id>".
    std::map<int, std::string> texts;
    std::string programPath = "C:\\Tools\\Lumivale.exe";  // empty: cannot be told
    // The Application log: what was written, in order. While eventLogFails
    // nothing is.
    struct Event {
        std::string source;
        std::uint16_t type;
        std::uint32_t id;
        std::vector<std::string> strings;
    };
    std::vector<Event> events;
    bool eventLogFails = false;

    void SetVersion(std::uint32_t platform, std::uint32_t major, std::uint32_t minor);
    void AddFile(const std::string& path) { files.insert(Lower(path)); }
    void AddDirectory(const std::string& path) { directories.insert(Lower(path)); }
    void RemoveFile(const std::string& path) { files.erase(Lower(path)); }

    bool QueryOsVersion(std::uint32_t recordSize, OsVersion* version);
    std::uint32_t SystemDirectory(char* buffer, std::uint32_t size);
    bool FindFile(const char* path, bool* directory);
    bool IsLeadByte(unsigned char byte) { return IsLead(byte); }
    bool IsLead(unsigned char byte) const;
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
    bool RunsAsAdministrator() { return administrator; }
    int LoadText(int id, char* buffer, int size);
    std::uint32_t ProgramPath(char* buffer, std::uint32_t size);
    bool WriteEvent(const char* source, std::uint16_t type, std::uint32_t id,
                    const char* const* strings, std::uint16_t count);

    // What happened.
    std::vector<std::uint32_t> versionQueries;  // record sizes, in order
    std::vector<std::string> libraryLoads;
    std::vector<std::string> entryPointsLookedUp;
    std::vector<std::string> calls;  // version-library and netapi32 calls, in order
    std::vector<std::string> searches;
    int librariesOpen = 0;
    int blocksOpen = 0;

private:
    std::string Lower(std::string text) const;
    const std::vector<std::uint32_t>* VersionOf(const char* path) const;
    char library_;  // its address is the library handle
    char entries_[3];
    char netapi_;
    char netapiEntries_[2];
};
