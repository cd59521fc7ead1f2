#include "ui/EventGuard.h"

#include <cstdio>
#include <exception>

#include "core/model/Messages.h"

namespace EventGuard {

bool run(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            showMessage("the command could not be completed: " + describeException(error),
                "Oxel Error", MessageIcon::Critical);
        } catch (...) {
            // Not even the box could be shown; stderr is all that is left.
            std::fputs("Oxel Error: the command could not be completed\n", stderr);
        }
        return false;
    }
}

} // namespace EventGuard
