#include "server/app/display_probe.h"

#include <xcb/xcb.h>

namespace korrind {

bool XDisplayUsable() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    bool usable = connection != nullptr && xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection); // accepts the error object as well
    return usable;
}

} // namespace korrind
