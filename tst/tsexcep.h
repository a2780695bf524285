#pragma once

#include <string>
#include <string_view>

// Root of every library error. A plain copyable value: catch sites that must
// tell errors apart catch the most derived class first.
class TSException {
public:
    TSException() = default;
    explicit TSException(const char* message);
    explicit TSException(std::string message);
    TSException(const TSException&) = default;
    TSException& operator=(const TSException&) = default;
    virtual ~TSException();

    std::string GetMessage() const { return m_message; }
    void SetMessage(std::string message) { m_message = std::move(message); }

private:
    std::string m_message;
};

// A broken precondition or assertion inside the libraries.
class TSInternalError : public TSException {
public:
    using TSException::TSException;
    ~TSInternalError() override;
};

// Base of every error that ordinary operation can produce.
class TSRuntimeException : public TSException {
public:
    using TSException::TSException;
    ~TSRuntimeException() override;

    // "Class: text" or "Class: text: detail", the message shape of the
    // runtime errors that carry a code.
    static std::string ComposeMessage(std::string_view className, std::string_view text,
                                      std::string_view detail = {});
};

// The module name of a source path: "/src/vtkit/cdupc.cpp" -> "cdupc".
constexpr std::string_view TSModuleName(std::string_view path)
{
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    const auto dot = path.find('.');
    if (dot != std::string_view::npos)
        path.remove_suffix(path.size() - dot);
    return path;
}

// Throw TSInternalError: "<text> at <module> line <line>"; a null or empty
// text reads "Internal error".
[[noreturn]] void RaiseInternalError(std::string_view module, long line, const char* text = nullptr);
// "Assertion failed[: text] at <module> line <line>".
[[noreturn]] void RaiseAssertion(std::string_view module, long line, const char* text = nullptr);
// "NULL Pointer[: text] at <module> line <line>".
[[noreturn]] void RaiseNullPointer(std::string_view module, long line, const char* text = nullptr);

#define TS_INTERNAL_ERROR(text) ::RaiseInternalError(::TSModuleName(__FILE__), __LINE__, (text))

#define TS_ASSERT(cond)                                                                                      \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::RaiseAssertion(::TSModuleName(__FILE__), __LINE__, #cond);                                     \
    } while (0)

#define TS_ASSERT_MSG(cond, text)                                                                            \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::RaiseAssertion(::TSModuleName(__FILE__), __LINE__, (text));                                    \
    } while (0)

#define TS_CHECK_NULL(ptr)                                                                                   \
    do {                                                                                                     \
        if ((ptr) == nullptr)                                                                                \
            ::RaiseNullPointer(::TSModuleName(__FILE__), __LINE__);                                          \
    } while (0)
