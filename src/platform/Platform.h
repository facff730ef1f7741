#pragma once
// What the windows need from the operating system, gathered so that tests can hand
// in doubles.

#include "CommonDialog.h"
#include "MessageBox.h"

#include <functional>

namespace platform {

struct Platform {
    MessageBox& messageBox;
    CommonDialog& commonDialog;
    // Ends the program at once.
    std::function<void()> endProgram;
};

} // namespace platform
