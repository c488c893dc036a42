#include "ui/FrameExtents.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace FrameExtents
{

namespace
{

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The program has one X connection, so the atom is asked for once.
xcb_atom_t frameExtentsAtom(xcb_connection_t *x)
{
    static const xcb_atom_t atom = [x] {
        static constexpr char name[] = "_NET_FRAME_EXTENTS";
        const Owned<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, sizeof name - 1, name), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }();
    return atom;
}

} // namespace

bool Available()
{
    return connection() != nullptr;
}

std::optional<QMargins> Of(const QWidget *window)
{
    xcb_connection_t *x = connection();
    if (!x || !window->windowHandle())
        return std::nullopt;
    const xcb_atom_t atom = frameExtentsAtom(x);
    if (atom == XCB_ATOM_NONE)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->windowHandle()->winId());
    const Owned<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, id, atom, XCB_ATOM_CARDINAL, 0, 4), nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 4 * 4)
        return std::nullopt;
    // Left, right, top, bottom.
    const auto *sides = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    return QMargins(int(sides[0]), int(sides[2]), int(sides[1]), int(sides[3]));
}

} // namespace FrameExtents
