// SPDX-License-Identifier: Apache-2.0
// quillon-hexgen (hexgen in the build tree): writes a sample Intel HEX file of random data, the
// same for the same options.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "HexGen.h"

namespace {
void PrintUsage(std::FILE* stream) {
    std::fprintf(stream,
                 "usage: quillon-hexgen [options] [-o FILE]\n"
                 "Writes a sample Intel HEX file of random data, the same for the same options.\n"
                 "  --bytes N        total data bytes (default 4096)\n"
                 "  --record N       data bytes per record, 16 or 32 usually (default 16)\n"
                 "  --start ADDR     address of the first byte (default 0x1D000000)\n"
                 "  --seed N         random seed (default 1)\n"
                 "  --no-ela         no type 4 records; all data below 0x10000\n"
                 "  --gap-every N    leave a gap after every N records\n"
                 "  --gap-bytes N    size of each gap\n"
                 "  --crlf           CR LF line ends\n"
                 "  -o FILE          output file (default standard output)\n"
                 "  -h, --help       this text\n"
                 "  -V, --version    the program's name and version\n");
}

bool ParseNumber(const char* text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0' || parsed > 0xFFFFFFFFULL || text[0] == '-') return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    CHexGenOptions options;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        uint32_t* number = nullptr;
        if (arg == "--bytes")
            number = &options.totalBytes;
        else if (arg == "--record")
            number = &options.bytesPerRecord;
        else if (arg == "--start")
            number = &options.startAddress;
        else if (arg == "--seed")
            number = &options.seed;
        else if (arg == "--gap-every")
            number = &options.gapEvery;
        else if (arg == "--gap-bytes")
            number = &options.gapBytes;
        else if (arg == "--no-ela")
            options.extendedLinear = false;
        else if (arg == "--crlf")
            options.crlf = true;
        else if (arg == "-o" && i + 1 < argc)
            output = argv[++i];
        else if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "-V" || arg == "--version") {
            std::puts("quillon-hexgen " QUILLON_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "quillon-hexgen: unknown option %s\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
        if (number != nullptr) {
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], *number)) {
                std::fprintf(stderr, "quillon-hexgen: %s needs a number\n", arg.c_str());
                return 2;
            }
            ++i;
        }
    }
    std::string error;
    const bool written =
        output != nullptr ? WriteHexFile(output, options, error) : WriteHex(stdout, options, error);
    if (!written) {
        std::fprintf(stderr, "quillon-hexgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
