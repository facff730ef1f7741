#pragma once
// Standard streams for the command line.

namespace platform {

// Standard input and output carry the files' bytes unchanged (no CR LF translation).
void setBinaryStdio();

bool stderrIsTerminal();

} // namespace platform
