// Binary parameter sets ("parb") and their readable text source.
//
// Binary layout, little-endian:
//   0       4 bytes  magic "WGPB"
//   4       uint16   format version, 1
//   6       uint16   entry count N, 1 to 64
//   8       N x 8    entries: uint32 key, float32 value
//   8 + 8N  uint32   CRC-32 (the zlib polynomial) of every byte before it
#ifndef WEAVEGRAPH_STANDIN_PARB_H
#define WEAVEGRAPH_STANDIN_PARB_H

#include "platform/weavegraph/standin/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Vantrel::Standin {

enum class ParbKey : uint32_t { FrameRate = 1, Threshold = 2, MaxRange = 3, Source = 4 };

struct ParbEntry
{
    ParbKey key;
    float value;
};

constexpr size_t parbMaxEntries = 64;

// Checks the whole set; on failure returns a nonzero code and leaves entries empty.
int decodeParb(const uint8_t *data, size_t size, std::vector<ParbEntry> &entries, std::string &error);
std::vector<uint8_t> encodeParb(const std::vector<ParbEntry> &entries);
// Reads the text form ("parb 1", then one "<key> <value>" per line) with the same checks.
int parseParbText(std::string_view text, std::vector<ParbEntry> &entries, std::string &error);

void applyParb(const std::vector<ParbEntry> &entries, Settings &settings);

uint32_t crc32(const uint8_t *data, size_t size);

} // namespace Vantrel::Standin

#endif
