// One program for the app's test groups; the first argument picks the group
// and the rest goes to Qt Test.
#include <cstdio>
#include <cstring>
#include <vector>

#include <QApplication>

#include "test_support.h"

namespace {

struct Group {
    const char* name;
    int (*run)(int, char**);
};

const Group groups[] = {
    {"palette", runPaletteTests},
    {"button", runButtonTests},
    {"coordinator", runCoordinatorTests},
    {"about", runAboutTests},
#ifdef NUMERA_TEST_MAIN_VIEW
    {"main_view", runMainViewTests},
    {"shell", runShellTests},
#endif
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <group> [Qt Test options]\n", argv[0]);
        return 2;
    }
    std::vector<char*> rest{argv[0]};
    for (int i = 2; i < argc; ++i)
        rest.push_back(argv[i]);
    for (const Group& group : groups) {
        if (std::strcmp(group.name, argv[1]) == 0)
            return group.run(static_cast<int>(rest.size()), rest.data());
    }
    std::fprintf(stderr, "unknown group %s\n", argv[1]);
    return 2;
}
