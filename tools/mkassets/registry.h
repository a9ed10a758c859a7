// The generator and command tables, for mkassets' main and for tests.
#pragma once
#include "mkassets.h"
#include <algorithm>
#include <vector>

namespace mkassets {
struct Generator { const char* name; GenFn fn; };
struct Command { const char* flag; CmdFn fn; const char* help; };
std::vector<Generator> allGenerators();  // sorted by name
std::vector<Command> allCommands();      // sorted by flag
}  // namespace mkassets
