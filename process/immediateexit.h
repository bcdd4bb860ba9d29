#pragma once

#include <QByteArray>

namespace Vantrel {

// A file this process made, removed should the process end at once from a signal handler (a second
// termination signal), where no destructor runs: a FIFO left behind would keep the next run from
// making its own. One file at a time.
namespace ImmediateExit {

// handle: an O_PATH descriptor of the file, which tells it from any file put at the path later; it
// must stay open until forgetFile().
void removeFile(const QByteArray &path, int handle);
void forgetFile();
// Async-signal-safe, for the handler that ends the process: removes the file while the path holds it.
void removeFileNow();

} // namespace ImmediateExit
} // namespace Vantrel
