#pragma once

#include <exception>
#include <system_error>
#include <thread>

// Runs here() on this thread and there() on a second one at the same time and returns when
// both have ended. An exception thrown by either is rethrown here once both have ended (that of
// here() first): one left on the second thread would end the program. When no second thread
// can be had, there() runs on this thread after here().
template <typename Here, typename There>
void sideBySide(Here &&here, There &&there)
{
    std::exception_ptr thereError;
    std::thread other;
    try {
        other = std::thread([&there, &thereError] {
            try {
                there();
            } catch (...) {
                thereError = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        here();
        there();
        return;
    }
    std::exception_ptr hereError;
    try {
        here();
    } catch (...) {
        hereError = std::current_exception();
    }
    other.join();
    if (hereError)
        std::rethrow_exception(hereError);
    if (thereError)
        std::rethrow_exception(thereError);
}
