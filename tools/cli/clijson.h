#pragma once

#include <string>
#include <string_view>
#include <vector>

// A JSON string literal for a text of arbitrary bytes: valid UTF-8 passes
// through, control characters are escaped, and a byte that is not part of
// valid UTF-8 is written as its Latin-1 character (\u00XX), so nothing is
// lost and the output stays valid UTF-8.
std::string JsonQuote(std::string_view text);

// One JSON object, keys in the order they are added.
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, long long value);
    JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<long long>(value)); }
    JsonObject& Add(std::string_view key, const std::vector<std::string>& values);
    // A value that is already JSON (a nested object).
    JsonObject& AddRaw(std::string_view key, std::string_view json);

    std::string Str() const { return "{" + m_body + "}"; }

private:
    void Key(std::string_view key);

    std::string m_body;
};

// A failed subcommand: the message on stderr as "lumora-cli COMMAND: ...",
// and with --json also as {"error":...} on stdout. Returns the exit status
// for a failed operation.
int ReportFailure(std::string_view command, const std::string& message, bool json);
