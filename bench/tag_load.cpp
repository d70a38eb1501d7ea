// Loads one tag file as the launcher loads its input files, as a program that bench/run can
// time at several sizes to see how the cost grows with the input.
//
//   tag_load FILE   loads FILE and prints the number of tags and the number of values
#include <cstdio>

#include "input/TagFile.h"
#include "base/LauncherException.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    try {
        TagFile tags{SString(argv[1])};
        const TagFileEntryPtrDeque& entries = tags.entries();
        long values = 0;
        for (long i = 0; i < entries.size(); ++i) {
            values += entries.at(i)->m_values->size();
        }
        std::printf("%ld %ld\n", entries.size(), values);
    } catch (const LauncherException& e) {
        std::fprintf(stderr, "%s\n", e.m_message.c_str());
        return 1;
    }
    return 0;
}
