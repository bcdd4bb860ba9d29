// The line-and-word syntax shared by flow files and readable parb sources.
#ifndef WEAVEGRAPH_STANDIN_TEXTFORMAT_H
#define WEAVEGRAPH_STANDIN_TEXTFORMAT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Vantrel::Standin {

struct TextLine
{
    int number = 0; // 1-based line number in the source, for messages
    std::vector<std::string> words;
};

// Splits text into non-empty lines of blank-separated words. '#' outside quotes starts a comment;
// "..." is one word (\" and \\ escape). Fails on a NUL or other control byte and on an open quote,
// with the reason in error.
bool splitLines(std::string_view text, std::vector<TextLine> &lines, std::string &error);

// A finite decimal number, locale-independent; the whole word must be consumed.
std::optional<double> parseNumber(std::string_view word);
// A decimal or 0x-prefixed hexadecimal integer, optionally negative (decimal only).
std::optional<int64_t> parseInteger(std::string_view word);

std::string hexId(uint32_t id);
std::string formatNumber(double value);

} // namespace Vantrel::Standin

#endif
