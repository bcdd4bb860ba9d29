// weavegraph-parb <source> <output>: compiles a readable parameter source into a binary parb file.
#include "platform/weavegraph/standin/errors.h"
#include "platform/weavegraph/standin/files.h"
#include "platform/weavegraph/standin/parb.h"

#include <cstdio>
#include <fstream>
#include <string_view>

using namespace Vantrel::Standin;

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: weavegraph-parb <source> <output>\n");
        return 2;
    }
    std::vector<uint8_t> source;
    std::string error;
    if (!readWholeFile(argv[1], 1u << 20, source, error)) {
        std::fprintf(stderr, "weavegraph-parb: %s\n", error.c_str());
        return 1;
    }
    std::vector<ParbEntry> entries;
    if (parseParbText(std::string_view(reinterpret_cast<const char *>(source.data()), source.size()), entries, error)
        != Ok) {
        std::fprintf(stderr, "weavegraph-parb: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    const std::vector<uint8_t> binary = encodeParb(entries);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(binary.data()), std::streamsize(binary.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "weavegraph-parb: cannot write %s\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
