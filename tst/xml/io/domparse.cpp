#include "tst/xml/io/domparse.h"

#include "tst/tsexcep.h"
#include "tst/xml/dom/domarena.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <typeinfo>

namespace {

// Texts up to this length are looked up among the recent ones first.
constexpr std::size_t kMaxSharedLength = 24;
constexpr std::int32_t kSharedBias = 1 << 28;
constexpr std::int32_t kSettleUses = 1 << 20;
constexpr std::size_t kFirstSharedSize = 128;
constexpr std::size_t kMaxSharedSize = 2048;
// Up to this many attributes a tag's names are compared one by one.
constexpr std::size_t kIndexedAttributes = 16;

constexpr bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsAllBlank(std::u16string_view text)
{
    for (char16_t c : text)
        if (!IsBlank(c))
            return false;
    return true;
}

// Four characters a step: most texts stored are names and short values,
// and a step per character was a good part of the parse.
std::uint32_t TextHash(std::u16string_view text)
{
    constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDu;
    std::uint64_t hash = 0x9E3779B97F4A7C15u ^ text.size();
    const char16_t* next = text.data();
    std::size_t left = text.size();
    for (; left >= 4; left -= 4, next += 4) {
        std::uint64_t word;
        std::memcpy(&word, next, sizeof word);
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    // One character at a time: a copy of a varying length would stall the load after it.
    std::uint64_t tail = 0;
    for (std::size_t i = 0; i < left; ++i)
        tail |= std::uint64_t{next[i]} << (16 * i);
    hash = (hash ^ tail) * kMultiplier;
    hash ^= hash >> 29;
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

std::size_t SkipBlanks(std::u16string_view text, std::size_t position)
{
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    return position;
}

} // namespace

TSDomParser::TSDomParser(TSXmlDataSource* source)
    : m_source(source), m_buffer(source), m_tokenizer(m_buffer), m_shared(kFirstSharedSize)
{
}

TSDomParser::~TSDomParser() = default;

void TSDomParser::ElementHook(TSDomElement&, int&) {}

TSDomDocument TSDomParser::Parse()
{
    TSDomDocument document;
    Parse(document);
    return document;
}

void TSDomParser::Parse(TSDomDocument& document)
{
    TS_CHECK_NULL(m_source);
    // Without an own hook there is nothing to call, and end tags need no element.
    m_callHook = typeid(*this) != typeid(TSDomParser);
    TSDomArena arena;
    m_arena = &arena;
    TSDomDocument result;
    try {
        TSDomNodeImpl* body = result.Impl();
        ParseProlog();
        ParseMisc(body, kBeforeDoctype);
        const TSXmlToken& token = m_tokenizer.Next();
        if (token.m_kind == kXmlTokenDeclaration) {
            ParseDoctype(token);
            ParseMisc(body, kAfterDoctype);
        } else {
            m_tokenizer.PushBack();
        }
        ParseRoot(body);
        ParseMisc(body, kAfterRoot);
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
    document = result;
}

void TSDomParser::Parse(TSDomDocument& document, const ChildTaker& take)
{
    m_take = &take;
    try {
        Parse(document);
    } catch (...) {
        m_take = nullptr;
        throw;
    }
    m_take = nullptr;
}

void TSDomParser::Finish() noexcept
{
    m_hookElement.SetBody(nullptr);
    m_endName.Clear();
    m_attributeIndex.clear();
    m_attributes.clear();
    SettleAll();
    m_open.clear();
    m_arena = nullptr;
}

void TSDomParser::ParseProlog()
{
    const TSXmlToken* token = &m_tokenizer.Next();
    while (token->m_kind == kXmlTokenCharacterData && IsAllBlank(token->m_text))
        token = &m_tokenizer.Next();
    switch (token->m_kind) {
    case kXmlTokenCDATASection:
        Fail(TSXmlException::kMissingElementStart, *token);
    case kXmlTokenEndOfData:
        Fail(TSXmlException::kPrematureEof, *token);
    case kXmlTokenProcessingInstruction: {
        TSDomString target;
        TSDomNode declaration(MakeProcessingInstruction(*token, true, &target));
        if (target == u"xml") {
            // The declaration's data reads like attributes; only the version counts.
            m_attributes.clear();
            m_attributeIndex.clear();
            ParseAttributes(declaration.Impl()->GetNodeValue(), 0, *token);
            bool versionOk = false;
            for (const Attribute& attribute : m_attributes)
                if (attribute.m_name == u"version")
                    versionOk = attribute.m_value == u"1.0";
            if (!versionOk)
                Fail(TSXmlException::kTagFormatError, *token);
            return;
        }
        m_tokenizer.PushBack();
        return;
    }
    default:
        m_tokenizer.PushBack();
        return;
    }
}

void TSDomParser::ParseMisc(TSDomNodeImpl* document, MiscStage stage)
{
    for (;;) {
        const TSXmlToken& token = m_tokenizer.Next();
        switch (token.m_kind) {
        case kXmlTokenProcessingInstruction:
            document->LinkChild(MakeProcessingInstruction(token, false, nullptr));
            break;
        case kXmlTokenComment:
            document->LinkChild(
                TSDomNodeImpl::NewInArena<TSDomCommentImpl>(*m_arena, 0, Store(token.m_text)));
            break;
        case kXmlTokenCharacterData:
            if (!IsAllBlank(token.m_text))
                Fail(TSXmlException::kItemNotAllowed, token);
            break;
        case kXmlTokenCDATASection:
            Fail(TSXmlException::kItemNotAllowed, token);
        case kXmlTokenTag:
            if (stage == kAfterRoot)
                Fail(TSXmlException::kItemNotAllowed, token);
            m_tokenizer.PushBack();
            return;
        case kXmlTokenDeclaration:
            if (stage != kBeforeDoctype)
                Fail(TSXmlException::kItemNotAllowed, token);
            m_tokenizer.PushBack();
            return;
        default: // end of data
            if (stage == kAfterRoot)
                return;
            Fail(TSXmlException::kPrematureEof, token);
        }
    }
}

// The first word of an instruction or declaration, which must start the text.
std::u16string_view TSDomParser::LeadingWord(const TSXmlToken& token) const
{
    const std::u16string_view text = token.m_text;
    if (text.empty() || IsBlank(text[0]))
        Fail(TSXmlException::kTagFormatError, token);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    return text.substr(0, end);
}

void TSDomParser::ParseDoctype(const TSXmlToken& token)
{
    if (LeadingWord(token) != u"DOCTYPE")
        Fail(TSXmlException::kTagFormatError, token);
}

void TSDomParser::ParseRoot(TSDomNodeImpl* document)
{
    const TSXmlToken& first = m_tokenizer.Next();
    int kind = kStartTag;
    TSDomNodeImpl* root = ParseTag(first, kind);
    if (kind == kEndTag)
        Fail(TSXmlException::kTagFormatError, first);
    document->LinkChild(root);
    if (kind == kEmptyTag)
        return;
    m_open.clear();
    m_open.push_back({root, first.m_line, first.m_column});
    // Nesting is followed on an explicit stack, so depth costs no call stack.
    while (!m_open.empty()) {
        const TSXmlToken& token = m_tokenizer.Next();
        if (token.m_kind != kXmlTokenTag) {
            AppendContent(m_open.back().m_element, token);
            if (m_open.size() == 1)
                HandOver(root);
            continue;
        }
        TSDomNodeImpl* element = ParseTag(token, kind);
        if (kind == kEndTag) {
            CheckEndTag(element ? element->GetNodeName() : m_endName, m_open.back(), token);
            m_open.pop_back();
            if (m_open.size() == 1)
                HandOver(root);
            continue;
        }
        m_open.back().m_element->LinkChild(element);
        if (kind == kStartTag) {
            if (m_open.size() >= m_limits.m_maxDepth)
                FailLimit("levels of nesting", m_limits.m_maxDepth, token);
            m_open.push_back({element, token.m_line, token.m_column});
        } else if (m_open.size() == 1)
            HandOver(root);
    }
}

void TSDomParser::HandOver(TSDomNodeImpl* parent)
{
    if (!m_take)
        return;
    // The handle keeps the child while the taker reads it and until it is unlinked.
    const TSDomNode child(parent->GetLastChild());
    (*m_take)(child);
    parent->RemoveChild(child.Impl());
}

void TSDomParser::AppendContent(TSDomNodeImpl* parent, const TSXmlToken& token)
{
    TSDomNodeImpl* node = nullptr;
    switch (token.m_kind) {
    case kXmlTokenCharacterData:
        node = TSDomNodeImpl::NewInArena<TSDomTextImpl>(*m_arena, 0, Store(Expand(token.m_text, token)));
        break;
    case kXmlTokenComment:
        node = TSDomNodeImpl::NewInArena<TSDomCommentImpl>(*m_arena, 0, Store(token.m_text));
        break;
    case kXmlTokenCDATASection:
        node = TSDomNodeImpl::NewInArena<TSDomCDATASectionImpl>(*m_arena, 0, Store(token.m_text));
        break;
    case kXmlTokenEndOfData:
        Fail(TSXmlException::kPrematureEof, token);
    default: // processing instruction or declaration
        Fail(TSXmlException::kItemNotAllowed, token);
    }
    parent->LinkChild(node);
}

void TSDomParser::CheckEndTag(const TSDomString& closeName, const OpenElement& open,
                              const TSXmlToken& token) const
{
    const TSDomString& openName = open.m_element->GetNodeName();
    if (openName == closeName)
        return;
    std::string detail = "\nOpen: ";
    detail.append(NarrowForMessage(openName))
        .append(" At ")
        .append(TSXmlException::Position(open.m_line, open.m_column))
        .append("\nClose: ")
        .append(NarrowForMessage(closeName))
        .append(" At ")
        .append(TSXmlException::Position(token.m_line, token.m_column));
    throw TSXmlException(TSXmlException::kMismatchedTagClose, detail);
}

TSDomNodeImpl* TSDomParser::ParseTag(const TSXmlToken& token, int& tagKind)
{
    const std::u16string_view text = token.m_text;
    std::size_t i = 0;
    const bool endTag = !text.empty() && text[0] == u'/';
    if (endTag)
        ++i;
    if (i == text.size() || IsBlank(text[i]))
        Fail(TSXmlException::kTagFormatError, token);
    const std::size_t nameStart = i;
    while (i < text.size() && !IsBlank(text[i]) && text[i] != u'/')
        ++i;
    TSDomString name = Store(Expand(text.substr(nameStart, i - nameStart), token));
    tagKind = endTag ? kEndTag : kStartTag;
    m_attributes.clear();
    m_attributeIndex.clear();
    i = SkipBlanks(text, i);
    if (i < text.size()) {
        if (text[i] == u'/') {
            // "/" closes an empty-element tag and can only come last.
            if (i + 1 != text.size() || endTag)
                Fail(TSXmlException::kTagFormatError, token);
            tagKind = kEmptyTag;
        } else {
            if (endTag)
                Fail(TSXmlException::kTagFormatError, token);
            ParseAttributes(text, i, token);
            if (text.back() == u'/')
                tagKind = kEmptyTag;
        }
    }
    if (!m_callHook) {
        if (tagKind == kEndTag) {
            m_endName = std::move(name);
            return nullptr;
        }
        return MakeElement(std::move(name), false);
    }
    TSDomNodeImpl* element = MakeElement(std::move(name), tagKind == kEndTag);
    // The hook's handle keeps the element alive until the caller has linked it.
    m_hookElement.SetBody(element);
    ElementHook(m_hookElement, tagKind);
    return element;
}

void TSDomParser::ParseAttributes(std::u16string_view text, std::size_t i, const TSXmlToken& token)
{
    for (;;) {
        i = SkipBlanks(text, i);
        if (i == text.size())
            return;
        if (text[i] == u'/') {
            if (i + 1 != text.size())
                Fail(TSXmlException::kTagFormatError, token);
            return;
        }
        const std::size_t nameStart = i;
        while (i < text.size() && !IsBlank(text[i]) && text[i] != u'=')
            ++i;
        if (i == nameStart)
            Fail(TSXmlException::kTagFormatError, token); // a value without a name
        TSDomString name = Store(Expand(text.substr(nameStart, i - nameStart), token));
        i = SkipBlanks(text, i);
        if (i == text.size() || text[i] != u'=')
            Fail(TSXmlException::kTagFormatError, token);
        i = SkipBlanks(text, i + 1);
        if (i == text.size() || (text[i] != u'"' && text[i] != u'\''))
            Fail(TSXmlException::kTagFormatError, token);
        const std::size_t valueEnd = text.find(text[i], i + 1);
        if (valueEnd == std::u16string_view::npos)
            Fail(TSXmlException::kTagFormatError, token);
        TSDomString value = Store(Expand(text.substr(i + 1, valueEnd - i - 1), token));
        i = valueEnd + 1;
        SetAttribute(std::move(name), std::move(value), token);
    }
}

void TSDomParser::SetAttribute(TSDomString name, TSDomString value, const TSXmlToken& token)
{
    // A repeated name replaces the earlier value.
    if (m_attributes.size() < kIndexedAttributes) {
        for (Attribute& attribute : m_attributes) {
            if (attribute.m_name == name) {
                attribute.m_value = std::move(value);
                return;
            }
        }
    } else {
        if (m_attributeIndex.empty())
            for (std::size_t n = 0; n < m_attributes.size(); ++n)
                m_attributeIndex.emplace(m_attributes[n].m_name.View(), n);
        // The view stays valid: the string's body is kept by the list.
        const auto [at, added] = m_attributeIndex.emplace(name.View(), m_attributes.size());
        if (!added) {
            m_attributes[at->second].m_value = std::move(value);
            return;
        }
    }
    if (m_attributes.size() >= m_limits.m_maxAttributes)
        FailLimit("attributes in one element", m_limits.m_maxAttributes, token);
    m_attributes.push_back({std::move(name), std::move(value)});
}

TSDomNodeImpl* TSDomParser::MakeElement(TSDomString name, bool endTag)
{
    if (endTag) {
        // End tags only need an element for the hook: reuse the last one
        // when nothing else took it.
        TSDomNodeImpl* spare = m_endElement.Impl();
        const int ours = m_hookElement.Impl() == spare ? 2 : 1;
        if (spare->IsNull() || spare->GetRefCount() != ours || spare->GetContainer() ||
            spare->HasChildNodes() || static_cast<TSDomElementImpl*>(spare)->Attributes().Size())
            m_endElement = TSDomElement(std::move(name));
        else
            spare->SetNodeName(std::move(name));
        return m_endElement.Impl();
    }
    const std::size_t count = m_attributes.size();
    auto* element =
        TSDomNodeImpl::NewInArena<TSDomElementImpl>(*m_arena, count * sizeof(TSDomAttrSlot), std::move(name));
    if (count) {
        element->Attributes().UseInline(reinterpret_cast<TSDomAttrSlot*>(element + 1),
                                        static_cast<std::uint32_t>(count));
        for (Attribute& attribute : m_attributes)
            element->Attributes().AppendUnchecked(std::move(attribute.m_name), std::move(attribute.m_value));
    }
    return element;
}

TSDomNodeImpl* TSDomParser::MakeProcessingInstruction(const TSXmlToken& token, bool first,
                                                      TSDomString* targetOut)
{
    const std::u16string_view text = token.m_text;
    const std::u16string_view target = LeadingWord(token);
    // "xml" in any case is reserved for the declaration.
    if (!first && target.size() == 3 && (target[0] | 0x20) == u'x' && (target[1] | 0x20) == u'm' &&
        (target[2] | 0x20) == u'l')
        Fail(TSXmlException::kTagFormatError, token);
    TSDomString name = Store(target);
    if (targetOut)
        *targetOut = name;
    return TSDomNodeImpl::NewInArena<TSDomProcessingInstructionImpl>(
        *m_arena, 0, std::move(name), Store(text.substr(SkipBlanks(text, target.size()))));
}

std::u16string_view TSDomParser::Expand(std::u16string_view text, const TSXmlToken& token)
{
    if (text.find(u'&') == std::u16string_view::npos)
        return text;
    m_expanded.clear();
    // No entity is defined here, so an "&name;" can only be a fault (or an
    // entity declared in a DOCTYPE, which is never read).
    if (ExpandDefinedEntities(text, m_expanded) != std::u16string_view::npos)
        Fail(TSXmlException::kInvalidEntity, token);
    return m_expanded;
}

TSDomString TSDomParser::Store(std::u16string_view text)
{
    if (text.empty())
        return TSDomString();
    if (text.size() > kMaxSharedLength)
        return TSDomString::InArena(*m_arena, text);
    const std::uint32_t hash = TextHash(text);
    if (m_shared.size() < kMaxSharedSize && ++m_storedSinceGrowth > 4 * m_shared.size())
        GrowShared();
    SharedText& entry = m_shared[(hash ^ (hash >> 16)) & (m_shared.size() - 1)];
    if (entry.m_rep && entry.m_hash == hash &&
        std::u16string_view(entry.m_rep->Chars(), entry.m_rep->m_length) == text) {
        if (++entry.m_uses == kSettleUses) {
            entry.m_rep->m_refs.fetch_add(kSettleUses, std::memory_order_relaxed);
            entry.m_uses = 0;
        }
        return TSDomString::Adopt(entry.m_rep);
    }
    TSDomString fresh = TSDomString::InArena(*m_arena, text);
    // A text takes the entry when it comes twice in a row, so that values
    // seen once (dates, numbers) do not push out names and indentation.
    if (entry.m_candidate != hash) {
        entry.m_candidate = hash;
        return fresh;
    }
    Settle(entry);
    // Child by child, a shared text outlives the children around it: from
    // the arena it would keep their whole block.
    if (m_take)
        fresh = TSDomString(text);
    // Nobody else knows the new body yet: a plain store will do.
    fresh.GetRep()->m_refs.store(1 + kSharedBias, std::memory_order_relaxed);
    entry = {fresh.GetRep(), hash, 0, 0};
    return fresh;
}

void TSDomParser::Settle(SharedText& entry) noexcept
{
    if (entry.m_rep)
        TSDomString::AdjustCount(entry.m_rep, entry.m_uses - kSharedBias);
    entry.m_rep = nullptr;
    entry.m_uses = 0;
}

void TSDomParser::SettleAll() noexcept
{
    for (SharedText& entry : m_shared) {
        Settle(entry);
        entry.m_candidate = 0;
    }
    m_storedSinceGrowth = 0;
}

void TSDomParser::GrowShared()
{
    SettleAll();
    m_shared.assign(std::min(m_shared.size() * 4, kMaxSharedSize), SharedText{});
}

void TSDomParser::FailLimit(const char* what, std::size_t limit, const TSXmlToken& token) const
{
    throw TSXmlException(TSXmlException::kLimitExceeded,
                         "more than " + std::to_string(limit) + " " + what + " at " +
                             TSXmlException::Position(token.m_line, token.m_column));
}

void TSDomParser::Fail(int code, const TSXmlToken& token) const
{
    Fail(code, token.m_line, token.m_column);
}

void TSDomParser::Fail(int code, unsigned line, unsigned column) const
{
    throw TSXmlException(code, TSXmlException::Position(line, column));
}
