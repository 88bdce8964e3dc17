// The end-to-end driver. Runs inside the Wine prefix next to Lumivale.exe:
//   lumivale-e2e --app PATH [--fixtures DIR] [--group NAME]... [--list]
//   lumivale-e2e --app PATH --measure ROUNDS
//   lumivale-e2e --expect-groups a,b,c   (fails unless those are all the groups)
// Linux paths (/...) are taken as Wine's Z: drive.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "harness.h"

namespace {

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// ctest runs one test per group it knows of: a group it lacks would never run.
int ExpectGroups(const std::string& expected) {
    std::set<std::string> registered, listed;
    for (size_t i = 0; i < e2e::Scenarios().size(); ++i)
        registered.insert(e2e::Scenarios()[i].group);
    std::string::size_type start = 0, comma;
    do {
        comma = expected.find(',', start);
        listed.insert(expected.substr(start, comma - start));
        start = comma + 1;
    } while (comma != std::string::npos);
    for (const std::string& group : registered)
        if (!listed.count(group)) std::printf("group %s has no test of its own\n", group.c_str());
    for (const std::string& group : listed)
        if (!registered.count(group)) std::printf("group %s has no scenarios\n", group.c_str());
    bool same = registered == listed;
    std::printf("%d passed, %d failed\n", same ? 1 : 0, same ? 0 : 1);
    return same ? 0 : 1;
}

int Usage() {
    std::printf("usage: lumivale-e2e --app PATH [--fixtures DIR] [--group NAME]... [--list]\n"
                "       lumivale-e2e --app PATH --measure ROUNDS\n"
                "       lumivale-e2e --dump TITLE | --ready | --press ID | --dismiss\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> groups;
    bool list = false;
    int rounds = 0;
    e2e::Paths& where = e2e::Where();
    for (int i = 1; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--app") && hasValue) {
            where.app = WindowsPath(argv[++i]);
        } else if (!std::strcmp(argv[i], "--fixtures") && hasValue) {
            where.fixtures = WindowsPath(argv[++i]);
        } else if (!std::strcmp(argv[i], "--group") && hasValue) {
            groups.push_back(argv[++i]);
        } else if (!std::strcmp(argv[i], "--measure") && hasValue) {
            rounds = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--expect-groups") && hasValue) {
            return ExpectGroups(argv[++i]);
        } else if (!std::strcmp(argv[i], "--dump") && hasValue) {
            return e2e::DemoDump(argv[++i]);
        } else if (!std::strcmp(argv[i], "--ready")) {
            return e2e::DemoReady();
        } else if (!std::strcmp(argv[i], "--press") && hasValue) {
            return e2e::DemoPress(std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--dismiss")) {
            return e2e::DemoDismiss();
        } else if (!std::strcmp(argv[i], "--list")) {
            list = true;
        } else {
            return Usage();
        }
    }
    if (list) {
        for (size_t i = 0; i < e2e::Scenarios().size(); ++i)
            std::printf("%s.%s\n", e2e::Scenarios()[i].group.c_str(),
                        e2e::Scenarios()[i].name.c_str());
        return 0;
    }
    if (where.app.empty()) return Usage();
    if (where.fixtures.empty()) where.fixtures = FolderOf(where.app) + "\\fixtures";
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(0, self, sizeof(self));
    where.self = FolderOf(self);

    if (rounds > 0) return e2e::Measure(rounds);
    return e2e::RunScenarios(groups);
}
