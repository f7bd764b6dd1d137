// Process entry. Until the transfer job exists, the program shows its version banner.
#include <cstdio>
#include <cstring>

#include "diag/version.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: kwlink \"<job string>\"\n       kwlink --version\n");
        return 0;
    }
    std::printf("%s\n", kVersionBanner);
    return 0;
}
