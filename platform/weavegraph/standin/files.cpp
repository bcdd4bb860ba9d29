#include "platform/weavegraph/standin/files.h"

#include <fstream>

namespace Vantrel::Standin {

bool readWholeFile(const std::string &path, size_t maxSize, std::vector<uint8_t> &bytes, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0) {
        error = "cannot read " + path;
        return false;
    }
    if (static_cast<unsigned long long>(size) > maxSize) {
        error = path + " is larger than " + std::to_string(maxSize) + " bytes";
        return false;
    }
    file.seekg(0);
    bytes.assign(static_cast<size_t>(size), 0);
    if (!file.read(reinterpret_cast<char *>(bytes.data()), size)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

} // namespace Vantrel::Standin
