// One program for the app's test groups; the first argument picks the group
// and the rest goes to Qt Test.
#include <cstdio>

#include <QApplication>

#include "test_support.h"

std::map<std::string, TestGroup>& testGroups()
{
    static std::map<std::string, TestGroup> groups;
    return groups;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const auto group = argc > 1 ? testGroups().find(argv[1]) : testGroups().end();
    if (group == testGroups().end()) {
        std::fprintf(stderr, "usage: %s <group> [Qt Test options]\n", argv[0]);
        return 2;
    }
    argv[1] = argv[0];
    return group->second(argc - 1, argv + 1);
}
