#pragma once
// Where the program remembers the user's choices from one start to the next: an ini file
// in the user's settings folder (%APPDATA%\Tolvane on Windows), never the registry.

#include <QSettings>

#include <memory>

namespace platform {

std::unique_ptr<QSettings> userSettings();

} // namespace platform
