#pragma once

#include <array>
#include <cstdint>
#include <optional>

class QWidget;

// "Window Placement" as the settings keep it: eleven little-endian 32-bit
// fields (length, flags, show command, minimised position, maximised
// position, normal rectangle). The normal rectangle's top-left corner is
// where the window's frame goes (what QWidget::move takes); its size is the
// window's own area without the frame (what QWidget::resize takes), so a
// placement read back puts the window where it was on any window manager.
struct CWindowPlacement {
    static constexpr std::size_t kBytes = 44;
    static constexpr std::int32_t kShowNormal = 1;
    static constexpr std::int32_t kShowMinimized = 2;
    static constexpr std::int32_t kShowMaximized = 3;
    static constexpr std::int32_t kRestoreToMaximized = 2;
    using Bytes = std::array<std::uint8_t, kBytes>;

    std::int32_t length = kBytes;
    std::int32_t flags = 0;
    std::int32_t showCommand = kShowNormal;
    std::int32_t minX = -1, minY = -1;
    std::int32_t maxX = -1, maxY = -1;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;

    bool operator==(const CWindowPlacement&) const = default;

    // None for the all-zero default, a wrong length or an empty rectangle.
    static std::optional<CWindowPlacement> FromBytes(const Bytes& bytes);
    Bytes ToBytes() const;

    // The placement of a top-level window as it is now; minimised or
    // maximised, the rectangle is still the last normal one.
    static CWindowPlacement Of(const QWidget& window);
    // Moves and sizes the window to the normal rectangle when enough of it
    // lies on a screen of today's desktop; false (window untouched) otherwise.
    bool ApplyTo(QWidget& window) const;
};
