#include "tst/tsexcep.h"

#include <cstdio>

TSException::TSException(const char* message) : m_message(message ? message : "") {}

TSException::TSException(std::string message) : m_message(std::move(message)) {}

TSException::~TSException() = default;
TSInternalError::~TSInternalError() = default;
TSRuntimeException::~TSRuntimeException() = default;

std::string TSRuntimeException::ComposeMessage(std::string_view className, std::string_view text,
                                               std::string_view detail)
{
    std::string message;
    message.reserve(className.size() + text.size() + detail.size() + 4);
    message.append(className).append(": ").append(text);
    if (!detail.empty())
        message.append(": ").append(detail);
    return message;
}

namespace {

[[noreturn]] void Raise(std::string text, std::string_view module, long line)
{
    char number[24];
    std::snprintf(number, sizeof number, "%ld", line);
    text.append(" at ").append(module).append(" line ").append(number);
    throw TSInternalError(std::move(text));
}

std::string WithText(const char* head, const char* text)
{
    std::string message(head);
    if (text && *text)
        message.append(": ").append(text);
    return message;
}

} // namespace

void RaiseInternalError(std::string_view module, long line, const char* text)
{
    Raise(text && *text ? text : "Internal error", module, line);
}

void RaiseAssertion(std::string_view module, long line, const char* text)
{
    Raise(WithText("Assertion failed", text), module, line);
}

void RaiseNullPointer(std::string_view module, long line, const char* text)
{
    Raise(WithText("NULL Pointer", text), module, line);
}
