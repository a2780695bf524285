#pragma once

#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"

#include <string>
#include <string_view>

// A malformed template. The kind tells which rule it broke.
class TSStringSubstException : public TSRuntimeException {
public:
    enum Kind { kMismatchedDelimiter = 0, kEmptyToken = 1, kRecursionLimit = 2 };

    explicit TSStringSubstException(int kind, std::string_view detail = {});
    ~TSStringSubstException() override;

    int GetKind() const { return m_kind; }

private:
    int m_kind;
};

// Replaces delimited keys in a text by the values of its map.
class TSStringSubst : public TSStringMap {
public:
    enum Mode { kPlain = 0, kUrlEncode = 1, kXmlEscape = 2, kByPrefix = 3 };

    // Recursive expansion stops with kRecursionLimit beyond these bounds, so
    // a value that names itself cannot hang or exhaust the process.
    static constexpr int kMaxDepth = 16;
    static constexpr std::size_t kMaxRecursiveOutput = 1 << 20;

    // Both delimiters become `delimiter`; the values live in a new
    // case-sensitive map.
    TSStringSubst(int mode, int dropMissing, char delimiter, int recursive);
    // Shares the body of an existing map.
    TSStringSubst(const TSStringMap& map, int mode, int dropMissing, char delimiter, int recursive);

    // The substituter for server request templates and configured texts:
    // "<^KEY^>", "<^%KEY^>" (URL-encoded), "<^&KEY^>" (XML-escaped), missing
    // keys dropped.
    static TSStringSubst ForTemplates(const TSStringMap& values);
    // The substituter for the client's own page templates: "^KEY^".
    static TSStringSubst ForPages(const TSStringMap& values);

    void SetDelimiters(std::string_view open, std::string_view close);
    const std::string& GetOpenDelimiter() const { return m_open; }
    const std::string& GetCloseDelimiter() const { return m_close; }

    // True when the text was changed. On an exception the text is unchanged.
    bool Substitute(std::string& text) const;

private:
    bool Expand(std::string_view text, std::string& out, int depth) const;
    void AppendValue(std::string_view value, char escaping, std::string& out, int depth) const;

    int m_mode;
    int m_dropMissing;
    std::string m_open;
    std::string m_close;
    int m_recursive;
};
