#pragma once

namespace Vantrel {

// A supervisor may start a program with a standard descriptor closed; the next descriptor opened
// would take its number and the program's output would land in it. Fills each closed one with
// /dev/null, as daemon(3) does. Call first thing in main.
void openClosedStandardDescriptors();

} // namespace Vantrel
