#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TSDomArena;

// Shared storage of a TSDomString: a count, the length and the characters
// (zero-terminated) right behind this header.
struct TSDomStringRep {
    enum Kind : std::uint8_t { kHeap, kArena, kStatic };

    std::atomic<std::int32_t> m_refs;
    std::uint32_t m_length;
    std::uint32_t m_capacity;
    std::uint16_t m_blockOffset; // arena reps: distance to their block in 8-byte units
    Kind m_kind;

    char16_t* Chars() noexcept { return reinterpret_cast<char16_t*>(this + 1); }
    const char16_t* Chars() const noexcept { return reinterpret_cast<const char16_t*>(this + 1); }
};

// A fixed text that lives for the whole process (the names "#text" and so on).
template <std::size_t N> struct TSDomStaticText {
    TSDomStringRep m_rep;
    char16_t m_chars[N];
};

// A DOM string: 16-bit characters in a shared body that is copied before a
// change when another string still refers to it. Copies are cheap, so node
// names and values can be handed out by value.
class TSDomString {
public:
    TSDomString() noexcept = default;
    TSDomString(std::u16string_view text);
    TSDomString(const char16_t* text) : TSDomString(std::u16string_view(text ? text : u"")) {}
    TSDomString(const char16_t* text, std::size_t length) : TSDomString(std::u16string_view(text, length)) {}
    TSDomString(const std::u16string& text) : TSDomString(std::u16string_view(text)) {}
    template <std::size_t N>
    explicit TSDomString(const TSDomStaticText<N>& text) noexcept
        : m_rep(const_cast<TSDomStringRep*>(&text.m_rep))
    {
    }
    TSDomString(const TSDomString& other) noexcept;
    TSDomString(TSDomString&& other) noexcept : m_rep(other.m_rep) { other.m_rep = nullptr; }
    TSDomString& operator=(const TSDomString& other) noexcept;
    TSDomString& operator=(TSDomString&& other) noexcept;
    ~TSDomString() { Release(m_rep); }

    // A string whose storage comes from a parser's arena.
    static TSDomString InArena(TSDomArena& arena, std::u16string_view text);

    std::size_t Length() const noexcept { return m_rep ? m_rep->m_length : 0; }
    bool IsEmpty() const noexcept { return Length() == 0; }
    // Zero-terminated characters; never null.
    const char16_t* Data() const noexcept { return m_rep ? m_rep->Chars() : u""; }
    std::u16string_view View() const noexcept { return {Data(), Length()}; }
    operator std::u16string_view() const noexcept { return View(); }
    std::u16string ToStdString() const { return std::u16string(View()); }
    char16_t operator[](std::size_t index) const noexcept { return Data()[index]; }

    // `count` characters from `offset`; offset + count beyond the length is
    // an assertion internal error.
    TSDomString Substring(std::size_t offset, std::size_t count) const;

    void Append(std::u16string_view text);
    void Append(char16_t c) { Append(std::u16string_view(&c, 1)); }
    void Clear() noexcept;

    friend bool operator==(const TSDomString& a, const TSDomString& b) noexcept
    {
        return a.m_rep == b.m_rep || a.View() == b.View();
    }
    friend bool operator==(const TSDomString& a, std::u16string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const TSDomString& a, const char16_t* b) noexcept { return a.View() == b; }
    friend auto operator<=>(const TSDomString& a, const TSDomString& b) noexcept
    {
        return a.View() <=> b.View();
    }

    // The shared body, for the parser's table of repeated texts.
    TSDomStringRep* GetRep() const noexcept { return m_rep; }
    explicit TSDomString(TSDomStringRep* rep) noexcept : m_rep(rep) { AddRef(rep); }
    // A string over `rep` that takes over a reference already counted.
    static TSDomString Adopt(TSDomStringRep* rep) noexcept
    {
        TSDomString result;
        result.m_rep = rep;
        return result;
    }
    // Adds `delta` (possibly negative) to the count of a heap or arena
    // body, freeing it when the count reaches zero.
    static void AdjustCount(TSDomStringRep* rep, std::int32_t delta) noexcept;

private:
    static void AddRef(TSDomStringRep* rep) noexcept
    {
        if (rep && rep->m_kind != TSDomStringRep::kStatic)
            rep->m_refs.fetch_add(1, std::memory_order_relaxed);
    }
    static void Release(TSDomStringRep* rep) noexcept;

    TSDomStringRep* m_rep = nullptr;
};
