// quillon-flash: the loader's sequence without a window, for scripts and production lines.
#include <cstdio>
#include <string>

#include "FlashOptions.h"
#include "FlashSession.h"

int main(int argc, char** argv) {
    CFlashOptions options;
    std::string error;
    if (!ParseFlashOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "quillon-flash: %s\n%s(try --help)\n", error.c_str(), kFlashUsage);
        return kExitUsage;
    }
    switch (options.mode) {
        case EFlashMode::kHelp:
            std::fputs(kFlashUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(kFlashHelp, stdout);
            return 0;
        case EFlashMode::kInfo:
            return RunInfo(options);
        case EFlashMode::kImageInfo:
            return RunImageInfo(options);
        case EFlashMode::kFlash:
            break;
    }
    return RunFlash(options);
}
