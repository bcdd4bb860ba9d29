#include "platform/weavegraph/standin/parb.h"

#include "platform/weavegraph/standin/errors.h"
#include "platform/weavegraph/standin/textformat.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace Vantrel::Standin {
namespace {

constexpr char magic[4] = {'W', 'G', 'P', 'B'};
constexpr uint16_t formatVersion = 1;
constexpr size_t headerSize = 8;
constexpr size_t entrySize = 8;
constexpr size_t crcSize = 4;

struct KeyInfo
{
    ParbKey key;
    const char *name;
    double minimum;
    double maximum;
};

constexpr KeyInfo keyInfos[] = {
    {ParbKey::FrameRate, "frame-rate", 0.0, 1000.0},
    {ParbKey::Threshold, "threshold", 0.0, 100.0},
    {ParbKey::MaxRange, "max-range", 0.1, 100.0},
    {ParbKey::Source, "source", 0.0, 1.0},
};

constexpr const char *sourceNames[] = {"simulation", "module"};

const KeyInfo *findKey(uint32_t key)
{
    for (const KeyInfo &info : keyInfos)
        if (static_cast<uint32_t>(info.key) == key)
            return &info;
    return nullptr;
}

const KeyInfo *findKey(std::string_view name)
{
    for (const KeyInfo &info : keyInfos)
        if (name == info.name)
            return &info;
    return nullptr;
}

uint32_t readU32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t readU16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

void appendU32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(v >> shift));
}

void appendU16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// Range, integrality and uniqueness checks shared by the binary and the text readers.
int checkEntries(const std::vector<ParbEntry> &entries, std::string &error)
{
    if (entries.empty()) {
        error = "parameter set has no entries";
        return ParbMalformed;
    }
    if (entries.size() > parbMaxEntries) {
        error = "parameter set has more than " + std::to_string(parbMaxEntries) + " entries";
        return ParbMalformed;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const KeyInfo *info = findKey(static_cast<uint32_t>(entries[i].key));
        if (!info) {
            error = "unknown parameter key " + std::to_string(static_cast<uint32_t>(entries[i].key));
            return ParbValue;
        }
        const double value = entries[i].value;
        if (!std::isfinite(value) || value < info->minimum || value > info->maximum) {
            error = std::string("value of ") + info->name + " out of range";
            return ParbValue;
        }
        if (info->key == ParbKey::Source && value != std::floor(value)) {
            error = "source must be simulation or module";
            return ParbValue;
        }
        for (size_t j = 0; j < i; ++j)
            if (entries[j].key == entries[i].key) {
                error = std::string("parameter ") + info->name + " given twice";
                return ParbValue;
            }
    }
    return Ok;
}

std::optional<float> parseTextValue(const KeyInfo &info, const std::string &word)
{
    if (info.key == ParbKey::Source) {
        for (size_t i = 0; i < std::size(sourceNames); ++i)
            if (word == sourceNames[i])
                return float(i);
        return std::nullopt;
    }
    const auto number = parseNumber(word);
    if (!number)
        return std::nullopt;
    return float(*number);
}

} // namespace

uint32_t crc32(const uint8_t *data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

int decodeParb(const uint8_t *data, size_t size, std::vector<ParbEntry> &entries, std::string &error)
{
    entries.clear();
    if (!data || size < headerSize + crcSize) {
        error = "parameter set too short (" + std::to_string(size) + " bytes)";
        return ParbMalformed;
    }
    if (std::memcmp(data, magic, sizeof magic) != 0) {
        error = "not a parameter set (bad magic)";
        return ParbMalformed;
    }
    if (readU16(data + 4) != formatVersion) {
        error = "unsupported parameter set version " + std::to_string(readU16(data + 4));
        return ParbMalformed;
    }
    const size_t count = readU16(data + 6);
    if (size != headerSize + count * entrySize + crcSize) {
        error =
            "parameter set size " + std::to_string(size) + " does not match its " + std::to_string(count) + " entries";
        return ParbMalformed;
    }
    const size_t body = headerSize + count * entrySize;
    if (readU32(data + body) != crc32(data, body)) {
        error = "parameter set checksum mismatch";
        return ParbMalformed;
    }
    std::vector<ParbEntry> decoded;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *p = data + headerSize + i * entrySize;
        const uint32_t bits = readU32(p + 4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        decoded.push_back({static_cast<ParbKey>(readU32(p)), value});
    }
    const int result = checkEntries(decoded, error);
    if (result == Ok)
        entries = std::move(decoded);
    return result;
}

std::vector<uint8_t> encodeParb(const std::vector<ParbEntry> &entries)
{
    std::vector<uint8_t> out(magic, magic + sizeof magic);
    appendU16(out, formatVersion);
    appendU16(out, uint16_t(entries.size()));
    for (const ParbEntry &entry : entries) {
        uint32_t bits;
        std::memcpy(&bits, &entry.value, sizeof bits);
        appendU32(out, static_cast<uint32_t>(entry.key));
        appendU32(out, bits);
    }
    appendU32(out, crc32(out.data(), out.size()));
    return out;
}

int parseParbText(std::string_view text, std::vector<ParbEntry> &entries, std::string &error)
{
    entries.clear();
    std::vector<TextLine> lines;
    if (!splitLines(text, lines, error))
        return ParbMalformed;
    if (lines.empty() || lines.front().words != std::vector<std::string>{"parb", "1"}) {
        error = "parameter source must begin with \"parb 1\"";
        return ParbMalformed;
    }
    std::vector<ParbEntry> parsed;
    for (size_t i = 1; i < lines.size(); ++i) {
        const TextLine &line = lines[i];
        const std::string where = "line " + std::to_string(line.number) + ": ";
        const KeyInfo *info = findKey(line.words[0]);
        if (!info) {
            error = where + "unknown parameter \"" + line.words[0] + "\"";
            return ParbValue;
        }
        const auto value = line.words.size() == 2 ? parseTextValue(*info, line.words[1]) : std::nullopt;
        if (!value) {
            error = where + "expected \"" + info->name + " <value>\"";
            return ParbValue;
        }
        parsed.push_back({info->key, *value});
    }
    const int result = checkEntries(parsed, error);
    if (result == Ok)
        entries = std::move(parsed);
    return result;
}

void applyParb(const std::vector<ParbEntry> &entries, Settings &settings)
{
    for (const ParbEntry &entry : entries) {
        switch (entry.key) {
        case ParbKey::FrameRate:
            settings.frameRate = entry.value;
            break;
        case ParbKey::Threshold:
            settings.thresholdDb = entry.value;
            break;
        case ParbKey::MaxRange:
            settings.maxRange = entry.value;
            break;
        case ParbKey::Source:
            settings.source = entry.value == 0.0f ? Source::Simulation : Source::Module;
            break;
        }
    }
}

} // namespace Vantrel::Standin
