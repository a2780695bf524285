#include "vtkit/vtbatchlist.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdupc.h"

#include <algorithm>
#include <tuple>
#include <utility>

VTBatchCode::VTBatchCode(int type, const char* text, std::int32_t mode) : m_mode(mode)
{
    TS_CHECK_NULL(text);
    m_contents.SetCodeType(static_cast<VTCodeType>(type));
    SetCodeText(text);
    m_text = text;
}

VTBatchCode::VTBatchCode(int type, std::string_view text, std::int32_t mode) : m_mode(mode)
{
    m_contents.SetCodeType(static_cast<VTCodeType>(type));
    SetCodeText(text);
    m_text = text;
}

VTBatchCode::~VTBatchCode() = default;

bool VTBatchCode::operator==(const VTBatchCode& other) const
{
    return GetCodeType() == other.GetCodeType() && m_contents.GetRawCode() == other.m_contents.GetRawCode();
}

bool VTBatchCode::operator<(const VTBatchCode& other) const
{
    return std::make_tuple(static_cast<int>(GetCodeType()), m_contents.GetRawCode()) <
           std::make_tuple(static_cast<int>(other.GetCodeType()), other.m_contents.GetRawCode());
}

void VTBatchCode::SetCodeText(std::string_view text)
{
    const std::string scanned = StripSpacesAndDashes(text);
    m_contents.SetRawCode(text);
    m_contents.SetScannedCode(scanned);
    std::string code = scanned;
    if (GetCodeType() == kCodeUpcE)
        VTUpcECode::ExpandUpcE(scanned, code);
    m_contents.SetCode(code);
}

VTBatchCodeListImpl::~VTBatchCodeListImpl() = default;

VTBatchCodeList::VTBatchCodeList() : TSObjectRef(new VTBatchCodeListImpl) {}

VTBatchCodeListImpl& VTBatchCodeList::Body() const
{
    VTBatchCodeListImpl* body = BodyAs<VTBatchCodeListImpl>();
    TS_CHECK_NULL(body);
    return *body;
}

std::size_t VTBatchCodeList::Size() const
{
    const VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    return body.m_codes.size();
}

VTBatchCode VTBatchCodeList::Get(std::size_t index) const
{
    const VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    return body.m_codes.at(index);
}

std::vector<VTBatchCode> VTBatchCodeList::GetAll() const
{
    const VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    return body.m_codes;
}

void VTBatchCodeList::Set(std::size_t index, const VTBatchCode& code)
{
    Update(index, [&](VTBatchCode& stored) { stored = code; });
}

void VTBatchCodeList::Add(VTBatchCode code)
{
    Unshare();
    VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    body.m_codes.push_back(std::move(code));
}

void VTBatchCodeList::Clear()
{
    Unshare();
    VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    body.m_codes.clear();
}

void VTBatchCodeList::Update(std::size_t index, const std::function<void(VTBatchCode&)>& change)
{
    Unshare();
    VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    change(body.m_codes.at(index));
}

void VTBatchCodeList::ForEach(const std::function<void(std::size_t index, VTBatchCode& code)>& visit)
{
    Unshare();
    VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    for (std::size_t index = 0; index < body.m_codes.size(); ++index)
        visit(index, body.m_codes[index]);
}

bool VTBatchCodeList::AllOf(const std::function<bool(const VTBatchCode& code)>& test) const
{
    const VTBatchCodeListImpl& body = Body();
    std::lock_guard guard(body.m_lock);
    return !body.m_codes.empty() && std::all_of(body.m_codes.begin(), body.m_codes.end(), test);
}

VTBatchCodeList VTBatchCodeList::Copy() const
{
    VTBatchCodeList copy;
    copy.Body().m_codes = GetAll();
    return copy;
}
