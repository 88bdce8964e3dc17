#include "NextLogonModel.h"

#include <algorithm>

namespace {

const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kPolicy[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kProduct[] = "SOFTWARE\\Corvane\\Telvaro\\CurrentVersion\\System";
const char kChained[] = "SOFTWARE\\Corvane\\Wayfold\\Gina";

// The bytes of the character at text[at]: a lead byte of the code page takes
// the byte after it along.
std::size_t Width(const FakeSystem& system, const std::string& text, std::size_t at) {
    return system.IsLead(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// ASCII letters in upper case; a double-byte character as it is.
std::string Upper(const FakeSystem& system, std::string text) {
    for (std::size_t i = 0; i < text.size(); i += Width(system, text, i))
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
    return text;
}

}  // namespace

namespace logonmodel {

std::string SystemDirectory(const FakeSystem& system) {
    return system.systemDirectoryFails || system.systemDirectory.size() >= 260
               ? std::string()
               : system.systemDirectory;
}

std::string Join(const FakeSystem& system, const std::string& dir, const std::string& name) {
    std::size_t last = 0;
    for (std::size_t i = 0; i < dir.size(); i += Width(system, dir, i)) last = i;
    bool separator = !dir.empty() && last == dir.size() - 1 && dir.back() == '\\';
    return dir.empty() || separator ? dir + name : dir + "\\" + name;
}

bool TextOf(const MemoryRegistry& registry, const char* key, const char* name,
            std::string* text) {
    StoredValue v;
    if (!registry.Get(key, name, &v) || v.data.size() > 260 ||
        (v.data.size() == 260 && std::find(v.data.begin(), v.data.end(), 0) == v.data.end()))
        return false;
    text->assign(v.data.begin(), std::find(v.data.begin(), v.data.end(), 0));
    return true;
}

bool Names(const FakeSystem& system, const std::string& text, const char* upperName) {
    std::string upper = Upper(system, text);
    std::size_t length = std::char_traits<char>::length(upperName);
    for (std::size_t i = 0; i < upper.size(); i += Width(system, upper, i))
        if (upper.compare(i, length, upperName) == 0) return true;
    return false;
}

bool Found(const FakeSystem& system, const std::string& name) {
    FakeSystem look = system;
    auto file = [&](const std::string& path) {
        bool folder = false;
        return path.size() < 260 && look.FindFile(path.c_str(), &folder) && !folder;
    };
    std::string dir = SystemDirectory(system);
    return !name.empty() && name.find_first_of("*?<>\"") == std::string::npos &&
           (file(name) || (!dir.empty() && file(Join(system, dir, name))));
}

bool SameText(const FakeSystem& system, const std::string& a, const std::string& b) {
    return Upper(system, a) == Upper(system, b);
}

bool IsSystemGina(const FakeSystem& system, const std::string& name) {
    std::string dir = SystemDirectory(system);
    return Upper(system, name) == "MSGINA.DLL" ||
           (!dir.empty() && Upper(system, name) == Upper(system, Join(system, dir, "msgina.dll")));
}

}  // namespace logonmodel

PredictedLogon PredictNextLogon(const MemoryRegistry& registry, const FakeSystem& system) {
    using namespace logonmodel;
    PredictedLogon next = {std::vector<std::string>(), true, false, -1, false,
                           {std::string(kWinlogon) + "|GinaDLL"}};
    std::string gina;
    bool named = TextOf(registry, kWinlogon, "GinaDLL", &gina) && !gina.empty();
    next.chain.push_back(named ? gina : std::string());
    next.productFirst = named && Names(system, gina, "TVGINA.DLL");
    while (named) {
        const std::string& name = next.chain.back();
        bool product = Names(system, name, "TVGINA.DLL");
        bool chained = !product && Names(system, name, "WFLGINA.DLL");
        if (!Found(system, name)) {
            next.loads = false;
            break;
        }
        if (!product && !chained) break;
        for (std::size_t i = 0; i + 1 < next.chain.size(); ++i)
            if (Names(system, next.chain[i], product ? "TVGINA.DLL" : "WFLGINA.DLL") &&
                (product || !Names(system, next.chain[i], "TVGINA.DLL")))
                next.loads = false;  // a loop
        if (!next.loads) break;
        std::string after;
        next.reads.push_back(product ? std::string(kProduct) + "|GinaDLL"
                                     : std::string(kChained) + "|ChainTo");
        if (!(product ? TextOf(registry, kProduct, "GinaDLL", &after)
                      : TextOf(registry, kChained, "ChainTo", &after)) ||
            after.empty()) {
            next.loads = false;  // nothing to load next
            break;
        }
        next.chain.push_back(after);
    }

    StoredValue type;
    if (registry.Get(kPolicy, "LogonType", &type) || registry.Get(kWinlogon, "LogonType", &type))
        if (type.type == kRegDword && type.data.size() == 4)
            next.logonType = static_cast<long>(type.data[0] | type.data[1] << 8 |
                                               type.data[2] << 16 |
                                               static_cast<unsigned long>(type.data[3]) << 24);
    // Winlogon ignores a GinaDLL too long for its 260-byte buffer.
    StoredValue v;
    bool noGina = !registry.Get(kWinlogon, "GinaDLL", &v) || v.data.size() > 260;
    next.welcome = noGina && next.logonType > 0 && !system.domainMember;
    return next;
}
