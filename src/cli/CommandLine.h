#pragma once
// The command-line face of the engine: convert and detect without a window.

#include "platform/Console.h"

#include <QStringList>

#include <vector>

namespace cli {

// Runs the command named by args (the program name first). Returns the exit status:
// 0 success, 1 a failed conversion, 2 a usage error. windowToo: the same program opens the
// window when given no command (Linux), which its usage then tells.
int run(const std::vector<platform::Argument>& args, bool windowToo);

// Whether a program's first argument names something the command line does: anything
// else opens the window.
bool isCommand(const QString& word);

} // namespace cli
