#pragma once

namespace Vantrel {

// Whether the descriptor is the stream systemd connected to the journal: JOURNAL_STREAM names its
// "device:inode". Anything else (a terminal, a pipe, a redirection made since) does not match, so the
// journal's line prefixes reach only the journal.
bool isJournalStream(int fd);

// The same for standard output, looked at once: the first call decides for the whole process.
bool standardOutputIsJournal();

} // namespace Vantrel
