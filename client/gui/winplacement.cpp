#include "client/gui/winplacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace {

// A window must show at least this much of itself on some screen to be put back there.
constexpr int kMinimumVisible = 48;

std::int32_t ReadField(const CWindowPlacement::Bytes& bytes, std::size_t index)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(bytes[index * 4 + i]) << (8 * i);
    return static_cast<std::int32_t>(value);
}

void WriteField(CWindowPlacement::Bytes& bytes, std::size_t index, std::int32_t field)
{
    const auto value = static_cast<std::uint32_t>(field);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[index * 4 + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::array<std::int32_t*, 11> Fields(CWindowPlacement& p)
{
    return {&p.length, &p.flags, &p.showCommand, &p.minX,  &p.minY,  &p.maxX,
            &p.maxY,   &p.left,  &p.top,         &p.right, &p.bottom};
}

} // namespace

std::optional<CWindowPlacement> CWindowPlacement::FromBytes(const Bytes& bytes)
{
    CWindowPlacement placement;
    const auto fields = Fields(placement);
    for (std::size_t i = 0; i < fields.size(); ++i)
        *fields[i] = ReadField(bytes, i);
    if (placement.length != static_cast<std::int32_t>(kBytes) || placement.right <= placement.left ||
        placement.bottom <= placement.top)
        return std::nullopt;
    return placement;
}

CWindowPlacement::Bytes CWindowPlacement::ToBytes() const
{
    Bytes bytes{};
    CWindowPlacement copy = *this;
    const auto fields = Fields(copy);
    for (std::size_t i = 0; i < fields.size(); ++i)
        WriteField(bytes, i, *fields[i]);
    return bytes;
}

CWindowPlacement CWindowPlacement::Of(const QWidget& window)
{
    CWindowPlacement placement;
    const Qt::WindowStates states = window.windowState();
    if (states & Qt::WindowMinimized) {
        placement.showCommand = kShowMinimized;
        if (states & Qt::WindowMaximized)
            placement.flags = kRestoreToMaximized;
    } else if (states & Qt::WindowMaximized) {
        placement.showCommand = kShowMaximized;
    }
    // The frame's corner is known once the window manager has framed it.
    const bool normal = !(states & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    const QRect inner = normal ? window.geometry() : window.normalGeometry();
    const QPoint corner = normal ? window.frameGeometry().topLeft()
                                 : inner.topLeft() - (window.geometry().topLeft() - window.pos());
    placement.left = corner.x();
    placement.top = corner.y();
    placement.right = corner.x() + inner.width();
    placement.bottom = corner.y() + inner.height();
    return placement;
}

bool CWindowPlacement::ApplyTo(QWidget& window) const
{
    const QRect wanted(QPoint(left, top), QPoint(right - 1, bottom - 1));
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect visible = screen->availableGeometry().intersected(wanted);
        onScreen = onScreen || (visible.width() >= kMinimumVisible && visible.height() >= kMinimumVisible);
    }
    if (!onScreen)
        return false;
    window.move(wanted.topLeft());
    window.resize(wanted.size());
    return true;
}
