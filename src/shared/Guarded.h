#pragma once
// Memory that runs out in the middle of a command ends that command with a message,
// never the program: an exception cannot travel through Qt's event loop, so every
// handler the window system calls runs through here.

#include "platform/MessageBox.h"
#include "shared/Texts.h"

#include <new>

template <typename Handler> void guarded(platform::MessageBox& messageBox, Handler&& handler)
{
    try {
        handler();
    } catch (const std::bad_alloc&) {
        messageBox.show(texts::outOfMemory(), platform::kExclamationIcon, texts::title());
    }
}
