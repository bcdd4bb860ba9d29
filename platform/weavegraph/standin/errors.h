// Result codes of the stand-in runtime; 0 is success. Grouped by tens so a code tells where it came from.
#ifndef WEAVEGRAPH_STANDIN_ERRORS_H
#define WEAVEGRAPH_STANDIN_ERRORS_H

namespace Vantrel::Standin {

enum Result : int {
    Ok = 0,
    BadArgument = 1, // null handle, null buffer with a non-zero size
    Busy = 2, // the instance is running
    FlowSyntax = 10, // a line of the flow cannot be read
    FlowIncomplete = 11, // header missing, nothing to emit, or conflicting directives
    FlowTooLarge = 12,
    RecordingUnreadable = 13, // the replay file cannot be opened or read
    RecordingMalformed = 14, // the replay file is not a stream of size-prefixed frames
    NoFlow = 15, // parameters or run before a flow was accepted
    FlowUnreadable = 16, // the flow file cannot be read
    ParbMalformed = 20, // wrong magic, version, size or checksum
    ParbValue = 21, // unknown key or value out of range
};

} // namespace Vantrel::Standin

#endif
