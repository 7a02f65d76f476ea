// The benchmark program: generates large data and prints the figures of each area.
//   zvbench [tree|interchange|icalendar|tasks|memos|start|bomb|locks|sync|all] [options of that area]
#include <QByteArray>
#include <cstdio>
#include <cstring>

int benchTree(int argc, char** argv);
int benchInterchange(int argc, char** argv);
int benchTasks(int argc, char** argv);
int benchMemos(int argc, char** argv);
int benchStart(int argc, char** argv);
int benchBomb(int argc, char** argv);
int benchLocks(int argc, char** argv);
int benchICalendar(int argc, char** argv);
int benchSync(int argc, char** argv);

int main(int argc, char** argv)
{
    const char* area = argc > 1 ? argv[1] : "all";
    if (std::strcmp(area, "tree") == 0) return benchTree(argc - 1, argv + 1);
    if (std::strcmp(area, "interchange") == 0) return benchInterchange(argc - 1, argv + 1);
    if (std::strcmp(area, "tasks") == 0) return benchTasks(argc - 1, argv + 1);
    if (std::strcmp(area, "memos") == 0) return benchMemos(argc - 1, argv + 1);
    if (std::strcmp(area, "start") == 0) return benchStart(argc - 1, argv + 1);
    if (std::strcmp(area, "bomb") == 0) return benchBomb(argc - 1, argv + 1);
    if (std::strcmp(area, "locks") == 0) return benchLocks(argc - 1, argv + 1);
    if (std::strcmp(area, "icalendar") == 0) return benchICalendar(argc - 1, argv + 1);
    if (std::strcmp(area, "sync") == 0) return benchSync(argc - 1, argv + 1);
    if (std::strcmp(area, "all") == 0) {
        int rc = benchTree(argc - 1, argv + 1);
        rc |= benchTasks(argc - 1, argv + 1);
        rc |= benchMemos(argc - 1, argv + 1);
        rc |= benchInterchange(argc - 1, argv + 1);
        rc |= benchICalendar(argc - 1, argv + 1);
        return rc;
    }
    std::fprintf(stderr,
                 "usage: zvbench [tree|interchange|icalendar|tasks|memos|start|bomb|locks|sync|all]\n");
    return 2;
}
