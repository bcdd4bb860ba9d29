#ifndef WEAVEGRAPH_STANDIN_FILES_H
#define WEAVEGRAPH_STANDIN_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vantrel::Standin {

// Reads a whole file of at most maxSize bytes; false with the reason in error otherwise.
bool readWholeFile(const std::string &path, size_t maxSize, std::vector<uint8_t> &bytes, std::string &error);

} // namespace Vantrel::Standin

#endif
