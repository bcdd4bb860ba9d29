#include "platform/weavegraph/standin/textformat.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace Vantrel::Standin {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7f;
}

} // namespace

bool splitLines(std::string_view text, std::vector<TextLine> &lines, std::string &error)
{
    lines.clear();
    TextLine line;
    line.number = 1;
    size_t i = 0;
    auto finishLine = [&]() {
        if (!line.words.empty())
            lines.push_back(line);
        line.words.clear();
        ++line.number;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (isControl(c)) {
            error = "line " + std::to_string(line.number) + ": control character in text";
            return false;
        }
        if (c == '\n') {
            finishLine();
            ++i;
        } else if (isBlank(c)) {
            ++i;
        } else if (c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
        } else if (c == '"') {
            std::string word;
            ++i;
            bool closed = false;
            while (i < text.size() && text[i] != '\n') {
                const char q = text[i];
                if (isControl(q))
                    break;
                if (q == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (q == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
                    word += text[i + 1];
                    i += 2;
                    continue;
                }
                word += q;
                ++i;
            }
            if (!closed) {
                error = "line " + std::to_string(line.number) + ": unterminated quoted text";
                return false;
            }
            line.words.push_back(word);
        } else {
            const size_t start = i;
            while (i < text.size() && !isBlank(text[i]) && text[i] != '\n' && text[i] != '#' && text[i] != '"'
                   && !isControl(text[i]))
                ++i;
            line.words.emplace_back(text.substr(start, i - start));
        }
    }
    finishLine();
    return true;
}

std::optional<double> parseNumber(std::string_view word)
{
    double value = 0;
    const char *end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value, std::chars_format::fixed);
    if (word.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int64_t> parseInteger(std::string_view word)
{
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
        if (word.front() == '-' || word.front() == '+')
            return std::nullopt;
    }
    int64_t value = 0;
    const char *end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, value, base);
    if (word.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string hexId(uint32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(id));
    return text;
}

std::string formatNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace Vantrel::Standin
