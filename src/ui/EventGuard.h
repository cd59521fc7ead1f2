#pragma once

#include <functional>

// Every way from Qt's event loop into the program's own code (a menu command, a mouse or key
// event on the picture, a dialog's button) goes through here: an exception must not travel on
// into Qt, where it is undefined behaviour.
namespace EventGuard {

// Runs handler. An exception that escapes it is shown in a box (title "Oxel Error", critical
// icon) with its reason and false is returned; the caller then puts its own state right.
bool run(const std::function<void()> &handler);

} // namespace EventGuard
