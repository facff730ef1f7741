#pragma once
// The key codes that the lists' key handlers take, as Windows numbers its virtual keys.

namespace platform {

enum KeyCode : int {
    kKeyReturn = 13,
    kKeyUp = 38,
    kKeyDown = 40,
    kKeyInsert = 45,
    kKeyDelete = 46,
};

} // namespace platform
