// e2e_stamp_reader lines|frames|json: reads standard input as vantrel-cli's standard output (presence
// lines), as its FIFO stream (size-prefixed frames) or as lines holding JSON with a "timestamp" (the JSON
// lines, MQTT state messages and Server-Sent Events of vantrel-frames), and prints "<frame timestamp ms>
// <monotonic ns>" for each presence line, frame or timestamped line the moment it is whole. Log lines
// ("# ...") and lines without a timestamp are skipped.
#include "platform/weavegraph/frame_generated.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void stamp(int64_t timestamp, int64_t arrived)
{
    std::printf("%" PRId64 " %" PRId64 "\n", timestamp, arrived);
}

// Reads exactly `size` bytes; false at the end of the input.
bool readWhole(uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(STDIN_FILENO, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void readFrames()
{
    std::vector<uint8_t> frame;
    uint32_t size = 0;
    while (readWhole(reinterpret_cast<uint8_t *>(&size), sizeof size)) {
        frame.resize(sizeof size + size);
        std::memcpy(frame.data(), &size, sizeof size);
        if (!readWhole(frame.data() + sizeof size, size))
            return;
        stamp(Vantrel::Frames::GetSizePrefixedFrame(frame.data())->timestamp(), monotonicNs());
    }
}

// The frame timestamp of a presence line, or of a JSON line that holds one; -1 for any other line.
int64_t lineTimestamp(const char *line, bool json)
{
    if (!json)
        return line[0] == '#' ? -1 : std::strtoll(line, nullptr, 10);
    static const char key[] = "\"timestamp\":";
    const char *found = std::strstr(line, key);
    return found ? std::strtoll(found + sizeof key - 1, nullptr, 10) : -1;
}

void readLines(bool json)
{
    std::string pending;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0) {
        const int64_t arrived = monotonicNs();
        pending.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
            pending[end] = '\0';
            const int64_t timestamp = lineTimestamp(pending.c_str() + start, json);
            if (timestamp >= 0)
                stamp(timestamp, arrived);
            start = end + 1;
        }
        pending.erase(0, start);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode != "lines" && mode != "frames" && mode != "json") {
        std::fprintf(stderr, "usage: e2e_stamp_reader lines|frames|json\n");
        return 2;
    }
    if (mode == "frames")
        readFrames();
    else
        readLines(mode == "json");
    return 0;
}
