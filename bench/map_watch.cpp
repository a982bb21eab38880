// SPDX-License-Identifier: GPL-3.0-or-later
// For bench/startup.sh: waits for a window of the given title to be mapped on
// the X display and prints the CLOCK_MONOTONIC time of that moment, in
// seconds. Event-driven, so that the wait takes no processor time from the
// program being measured (polling with xdotool starts a process every few
// milliseconds on the same two cores).
//   map_watch TITLE    prints "ready" once it listens, then the time.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template <typename Reply> using Owned = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string title(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    const Owned<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, property, type, 0, 256), nullptr));
    if (!reply)
        return {};
    return std::string(static_cast<const char *>(xcb_get_property_value(reply.get())),
                       std::size_t(xcb_get_property_value_length(reply.get())));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "uso: map_watch TITOLO\n");
        return 2;
    }
    const std::string wanted = argv[1];
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "map_watch: nessun display X\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    std::free(xcb_request_check(connection,
                                xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask)));
    const xcb_atom_t netName = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
    std::printf("ready\n");
    std::fflush(stdout);

    while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
        const Owned<xcb_generic_event_t> owned(event);
        if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
            continue;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
        if (title(connection, window, netName, utf8) == wanted ||
            title(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING) == wanted) {
            std::printf("%ld.%09ld\n", long(now.tv_sec), long(now.tv_nsec));
            xcb_disconnect(connection);
            return 0;
        }
    }
    xcb_disconnect(connection);
    return 1;
}
