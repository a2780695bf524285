#pragma once

#include "tst/xml/dom/domnode.h"
#include "tst/xml/io/linebuf.h"
#include "tst/xml/io/tokenizer.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TSDomArena;
class TSXmlDataSource;

// Parses a strict subset of XML 1.0 into a document: elements, attributes,
// character data, CDATA sections, comments, processing instructions, an
// optional XML declaration (version 1.0) and a DOCTYPE that is checked and
// skipped. Only the five predefined entities and character references are
// known; a reference to any other entity is an error. Syntax errors and
// documents beyond the limits throw TSXmlException with the position.
class TSDomParser {
public:
    enum TagKind { kStartTag = 0, kEndTag = 1, kEmptyTag = 2 };

    // Far beyond any document the system exchanges, well short of what would
    // let a hostile one cost real time or memory.
    struct Limits {
        std::size_t m_maxAttributes = 1024; // per element
        std::size_t m_maxDepth = 256;       // elements open at once
    };

    // The source is not owned and must outlive the parser.
    explicit TSDomParser(TSXmlDataSource* source);
    TSDomParser(const TSDomParser&) = delete;
    TSDomParser& operator=(const TSDomParser&) = delete;
    virtual ~TSDomParser();

    // Parses the whole source into a new document.
    void Parse(TSDomDocument& document);
    TSDomDocument Parse();
    void SetLimits(const Limits& limits) { m_limits = limits; }
    const Limits& GetLimits() const { return m_limits; }
    // Parses as Parse does, but hands each child of the root element to
    // `take` as soon as it is complete and then leaves it out, so however
    // long the text the tree holds one child of the root at a time. The
    // document gets the root without children. A failure after some
    // children were handed over throws all the same.
    using ChildTaker = std::function<void(const TSDomNode& child)>;
    void Parse(TSDomDocument& document, const ChildTaker& take);

protected:
    // Called for every start, end or empty-element tag once its element
    // (with the attributes) is built; may change the tag kind.
    virtual void ElementHook(TSDomElement& element, int& tagKind);

private:
    struct OpenElement {
        TSDomNodeImpl* m_element;
        unsigned m_line;
        unsigned m_column;
    };
    struct Attribute {
        TSDomString m_name;
        TSDomString m_value;
    };

    void Finish() noexcept;
    void ParseProlog();
    enum MiscStage { kBeforeDoctype, kAfterDoctype, kAfterRoot };
    void ParseMisc(TSDomNodeImpl* document, MiscStage stage);
    std::u16string_view LeadingWord(const TSXmlToken& token) const;
    void ParseDoctype(const TSXmlToken& token);
    void ParseRoot(TSDomNodeImpl* document);
    // With a taker, hands it the parent's last child and unlinks that.
    void HandOver(TSDomNodeImpl* parent);
    void AppendContent(TSDomNodeImpl* parent, const TSXmlToken& token);
    // The new element of a start or empty-element tag (to be linked at once);
    // for an end tag without a hook, null with the name in m_endName.
    TSDomNodeImpl* ParseTag(const TSXmlToken& token, int& tagKind);
    void ParseAttributes(std::u16string_view text, std::size_t position, const TSXmlToken& token);
    // Adds the attribute, or replaces the value of an earlier one of that name.
    void SetAttribute(TSDomString name, TSDomString value, const TSXmlToken& token);
    TSDomNodeImpl* MakeElement(TSDomString name, bool endTag);
    TSDomNodeImpl* MakeProcessingInstruction(const TSXmlToken& token, bool first, TSDomString* targetOut);
    void CheckEndTag(const TSDomString& closeName, const OpenElement& open, const TSXmlToken& token) const;

    // Entities expanded, in the scratch string when there were any; a
    // reference to an undefined entity fails at the token.
    std::u16string_view Expand(std::u16string_view text, const TSXmlToken& token);
    [[noreturn]] void FailLimit(const char* what, std::size_t limit, const TSXmlToken& token) const;
    // A string for the tree; short and repeated texts share one body.
    TSDomString Store(std::u16string_view text);
    [[noreturn]] void Fail(int code, const TSXmlToken& token) const;
    [[noreturn]] void Fail(int code, unsigned line, unsigned column) const;

    TSXmlDataSource* m_source;
    const ChildTaker* m_take = nullptr;
    TSXmlLineBuffer m_buffer;
    TSXmlTokenizer m_tokenizer;
    TSDomArena* m_arena = nullptr;
    std::u16string m_expanded;
    std::vector<Attribute> m_attributes;
    // Names of the tag's attributes once they are many, so that each new one
    // is checked in constant time rather than against all before it.
    std::unordered_map<std::u16string_view, std::size_t> m_attributeIndex;
    Limits m_limits;
    std::vector<OpenElement> m_open;
    // Recent short texts. An entry holds a large extra count on its body
    // and hands out references without touching the count; they are
    // settled when the entry is replaced or the parse ends.
    struct SharedText {
        TSDomStringRep* m_rep = nullptr;
        std::uint32_t m_hash = 0;
        std::int32_t m_uses = 0;
        std::uint32_t m_candidate = 0; // hash of the last text that missed
    };
    void Settle(SharedText& entry) noexcept;
    void SettleAll() noexcept;
    // Settles every entry and makes the table four times as large.
    void GrowShared();
    // A power of two: small for the many short replies, grown for long
    // documents once the texts stored outnumber it well.
    std::vector<SharedText> m_shared;
    std::size_t m_storedSinceGrowth = 0;
    bool m_callHook = true;
    TSDomElement m_hookElement;
    TSDomElement m_endElement;
    TSDomString m_endName;
};
