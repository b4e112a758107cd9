#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sequence/Harness.h"

// Options of our own follow GoogleTest's:
//   --seed S     the sequence to run (default 1)
//   --calls N    how many calls it makes before everything is released
//   --verbose    print every call with its arguments and result
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    SequenceOptions& options = Options();
    for (int index = 1; index < argc; ++index) {
        const bool valued = index + 1 < argc;
        if (std::strcmp(argv[index], "--seed") == 0 && valued) {
            options.seed = std::strtoull(argv[++index], nullptr, 0);
        } else if (std::strcmp(argv[index], "--calls") == 0 && valued) {
            options.calls = uint32_t(std::strtoul(argv[++index], nullptr, 0));
        } else if (std::strcmp(argv[index], "--verbose") == 0) {
            options.verbose = true;
        } else {
            std::fprintf(stderr, "unknown option %s\nusage: %s [gtest options] [--seed S] [--calls N] [--verbose]\n",
                         argv[index], argv[0]);
            return 2;
        }
    }
    InstallCrashReport();
    return RUN_ALL_TESTS();
}
