// Writes the two demonstration firmware images into the given folder.

#include "records/FirmwareImageLayout.h"
#include "tools/FirmwareImageWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        using namespace FirmwareImageLayout;
        tools::writeFirmwareImage(folder / imageFileName(kKernelImageBaseName),
                                  tools::demoKernelImageIdentity(), tools::kDemoKernelImageSize);
        tools::writeFirmwareImage(folder / imageFileName(kNormalImageBaseName),
                                  tools::demoNormalImageIdentity(), tools::kDemoNormalImageSize);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
