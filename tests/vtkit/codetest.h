#pragma once

#include "tst/tsexcep.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"

#include <string>
#include <vector>

// The message of the library exception that fn raises; "" when it returns.
template <class Fn> std::string RaisedMessage(Fn&& fn)
{
    try {
        fn();
    } catch (const TSException& e) {
        return e.GetMessage();
    }
    return "";
}

// The message of a rejected code with the given detail.
inline std::string InvalidCode(const std::string& detail)
{
    return detail.empty() ? "VTToolkitException: Invalid code"
                          : "VTToolkitException: Invalid code: " + detail;
}

inline bool IsNullPointerError(const std::string& message)
{
    return message.starts_with("NULL Pointer at ");
}

inline bool IsAssertion(const std::string& message)
{
    return message.starts_with("Assertion failed");
}

inline VTCodeFormat MakeFormat(VTCodeType type, int routingOffset, int routingLength, int itemOffset,
                               int itemLength)
{
    VTCodeFormat format;
    format.SetCodeType(type);
    format.SetRoutingId(routingOffset, routingLength);
    format.SetItemId(itemOffset, itemLength);
    return format;
}

// "VANTREL UPCA", the long names in order.
inline std::string Names(const std::vector<VTCodeType>& types)
{
    std::string names;
    for (const auto type : types)
        names.append(names.empty() ? "" : " ").append(CodeTypeName(type, false));
    return names;
}
