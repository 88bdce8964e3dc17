#include "FakeSystem.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include <fnmatch.h>

namespace {

const char* const kEntryNames[3] = {"GetFileVersionInfoSizeA", "GetFileVersionInfoA",
                                    "VerQueryValueA"};
const char* const kNetapiEntryNames[2] = {"NetGetJoinInformation", "NetApiBufferFree"};
// A version block: a 52-byte VS_FIXEDFILEINFO after a 40-byte header.
const std::uint32_t kBlockSize = 92;
const std::uint32_t kRecordOffset = 40;

void PutLittleEndian(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

FakeSystem::FakeSystem() { SetVersion(kVerPlatformWin32Nt, 5, 1); }

// File names ignore case letter by letter: a second byte that happens to be
// an ASCII letter's is part of a double-byte character and stays.
std::string FakeSystem::Lower(std::string text) const {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size())
            ++i;
        else
            text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return text;
}

bool FakeSystem::IsLead(unsigned char byte) const {
    if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (codePage == 936 || codePage == 949 || codePage == 950) return byte >= 0x81 && byte <= 0xFE;
    return false;
}

void FakeSystem::SetVersion(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
    OsVersion version = {major, minor, platform};
    versions.clear();
    versions[kOsVersionInfoExSize] = version;
    versions[kOsVersionInfoSize] = version;
}

bool FakeSystem::QueryOsVersion(std::uint32_t recordSize, OsVersion* version) {
    versionQueries.push_back(recordSize);
    std::map<std::uint32_t, OsVersion>::const_iterator it = versions.find(recordSize);
    if (it == versions.end()) return false;
    *version = it->second;
    return true;
}

std::uint32_t FakeSystem::SystemDirectory(char* buffer, std::uint32_t size) {
    if (systemDirectoryFails) return 0;
    std::uint32_t length = static_cast<std::uint32_t>(systemDirectory.size());
    if (length + 1 > size) return length + 1;
    std::memcpy(buffer, systemDirectory.c_str(), length + 1);
    return length;
}

bool FakeSystem::FindFile(const char* path, bool* directory) {
    searches.push_back(path);
    const std::set<std::string>* const kinds[] = {&files, &directories};
    for (int kind = 0; kind < 2; ++kind)
        for (const std::string& entry : *kinds[kind])
            if (fnmatch(Lower(path).c_str(), entry.c_str(), FNM_NOESCAPE) == 0) {
                if (directory) *directory = kind == 1;
                return true;
            }
    return false;
}

void* FakeSystem::OpenLibrary(const char* path) {
    libraryLoads.push_back(path);
    if (Lower(path) == Lower(systemDirectory + "\\netapi32.dll")) {
        ++librariesOpen;
        return &netapi_;
    }
    if (Lower(path) != Lower(versionLibraryPath)) return 0;
    ++librariesOpen;
    return &library_;
}

void* FakeSystem::FindEntryPoint(void* library, const char* name) {
    entryPointsLookedUp.push_back(name);
    if (missingEntryPoints.count(name)) return 0;
    for (int i = 0; library == &library_ && i < 3; ++i)
        if (std::strcmp(name, kEntryNames[i]) == 0) return &entries_[i];
    for (int i = 0; library == &netapi_ && i < 2; ++i)
        if (std::strcmp(name, kNetapiEntryNames[i]) == 0) return &netapiEntries_[i];
    return 0;
}

void FakeSystem::CloseLibrary(void* library) {
    if (library == &library_ || library == &netapi_) --librariesOpen;
}

std::uint32_t FakeSystem::CallNetGetJoinInformation(void* entry, void* freeEntry,
                                                    std::uint32_t* status) {
    bool right = entry == &netapiEntries_[0] && freeEntry == &netapiEntries_[1];
    calls.push_back(right ? "join" : "join via wrong entry");
    *status = joinStatus >= 0 ? static_cast<std::uint32_t>(joinStatus) : domainMember ? 3 : 2;
    return joinQueryResult;
}

const std::vector<std::uint32_t>* FakeSystem::VersionOf(const char* path) const {
    std::map<std::string, std::vector<std::uint32_t> >::const_iterator it;
    for (it = fileVersions.begin(); it != fileVersions.end(); ++it)
        if (Lower(it->first) == Lower(path)) return &it->second;
    return 0;
}

std::uint32_t FakeSystem::CallGetFileVersionInfoSize(void* entry, const char* path,
                                                     std::uint32_t* handle) {
    calls.push_back(entry == &entries_[0] ? "size" : "size via wrong entry");
    if (handle) *handle = 0;
    return VersionOf(path) ? kBlockSize : 0;
}

int FakeSystem::CallGetFileVersionInfo(void* entry, const char* path, std::uint32_t size,
                                       void* block) {
    calls.push_back(entry == &entries_[1] ? "info" : "info via wrong entry");
    const std::vector<std::uint32_t>* version = VersionOf(path);
    if (readInfoFails || !version || size < kBlockSize) return 0;
    unsigned char* p = static_cast<unsigned char*>(block);
    std::memset(p, 0, kBlockSize);
    PutLittleEndian(p + kRecordOffset, 0xFEEF04BD);  // VS_FIXEDFILEINFO signature
    PutLittleEndian(p + kRecordOffset + 8, ((*version)[0] << 16) | (*version)[1]);
    PutLittleEndian(p + kRecordOffset + 12, ((*version)[2] << 16) | (*version)[3]);
    return 1;
}

int FakeSystem::CallVerQueryValue(void* entry, const void* block, const char* subBlock,
                                  const void** record, std::uint32_t* length) {
    calls.push_back(entry == &entries_[2] ? std::string("query ") + subBlock
                                          : "query via wrong entry");
    if (rootRecordMissing || std::strcmp(subBlock, "\\") != 0) return 0;
    *record = static_cast<const unsigned char*>(block) +
              (rootRecordPastBlock ? kBlockSize - 8 : kRecordOffset);
    if (length) *length = 52;
    return 1;
}

void* FakeSystem::AllocateBlock(std::uint32_t size) {
    if (allocationFails) return 0;
    ++blocksOpen;
    return std::malloc(size);
}

void FakeSystem::FreeBlock(void* block) {
    --blocksOpen;
    std::free(block);
}

int FakeSystem::LoadText(int id, char* buffer, int size) {
    std::map<int, std::string>::const_iterator it = texts.find(id);
    std::string text = it != texts.end() ? it->second : "#" + std::to_string(id);
    int length = std::min(static_cast<int>(text.size()), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = 0;
    return length;
}

std::uint32_t FakeSystem::ProgramPath(char* buffer, std::uint32_t size) {
    if (programPath.empty() || programPath.size() >= size) return 0;
    std::memcpy(buffer, programPath.c_str(), programPath.size() + 1);
    return static_cast<std::uint32_t>(programPath.size());
}

bool FakeSystem::WriteEvent(const char* source, std::uint16_t type, std::uint32_t id,
                            const char* const* strings, std::uint16_t count) {
    if (eventLogFails) return false;
    events.push_back(Event{source, type, id, std::vector<std::string>(strings, strings + count)});
    return true;
}
