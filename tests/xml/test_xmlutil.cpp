#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"

#include "tests/xml/xmltestutil.h"
#include "tst/tsexcep.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

class DomUtil : public ::testing::Test {
protected:
    const TSDomDocument m_document =
        ParseUtf8("<LIST>\n"
                  "    <CODE TYPE='UPCA' LOW='0'><RID>12x</RID><IID> -42</IID><HEX>ff</HEX><EMPTY/></CODE>\n"
                  "    <OTHER/>\n"
                  "    <CODE TYPE='EAN8'><NAME>first\nsecond</NAME><MIXED><![CDATA[c]]>t</MIXED></CODE>\n"
                  "</LIST>");
    const TSDomElement m_list = m_document.GetDocumentElement();

    static std::string Message(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const TSDomXmlException& error) {
            return error.GetMessage();
        }
        return "";
    }
};

TEST_F(DomUtil, FindsChildAndSiblingElements)
{
    const TSDomElement first = FindChildElement(m_list, u"CODE");
    EXPECT_EQ(U8(first.GetAttribute(u"TYPE")), "UPCA");
    const TSDomElement second = FindNextSiblingElement(first, u"CODE");
    EXPECT_EQ(U8(second.GetAttribute(u"TYPE")), "EAN8");
    EXPECT_TRUE(FindNextSiblingElement(second, u"CODE").IsNull());
    EXPECT_TRUE(FindChildElement(m_list, u"code").IsNull()) << "names compare exactly";
    EXPECT_TRUE(GetChildElement(m_list, u"OTHER").IsSameNode(FindChildElement(m_list, u"OTHER")));

    const std::vector<TSDomElement> codes = GetChildElements(m_list, u"CODE");
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_TRUE(codes[0].IsSameNode(first));
    EXPECT_TRUE(codes[1].IsSameNode(second));
    EXPECT_TRUE(GetChildElements(m_list, u"NONE").empty());
}

TEST_F(DomUtil, MissingContentRaisesWithNames)
{
    EXPECT_EQ(Message([&] { GetChildElementText(m_list, u"MISSING", true); }),
              "TSDomXmlException: Element not found: MISSING within LIST");
    EXPECT_EQ(Message([&] { GetAttribute(m_list, u"ATTR", true); }),
              "TSDomXmlException: Attribute not found: ATTR within LIST");
    const TSDomElement code = FindChildElement(m_list, u"CODE");
    EXPECT_EQ(Message([&] { GetChildElementInteger(code, u"RID", true); }),
              "TSDomXmlException: Element invalid: RID within CODE");
    EXPECT_EQ(Message([&] { GetChildElementInteger(code, u"EMPTY", true); }),
              "TSDomXmlException: Element invalid: EMPTY within CODE");
    EXPECT_EQ(Message([&] { GetChildElement(TSDomElement(u"\u00e9\u0101"), u"X"); }),
              "TSDomXmlException: Element not found: X within \xE9&#257;");

    EXPECT_EQ(GetChildElementText(m_list, u"MISSING", false), u"");
    EXPECT_EQ(GetAttribute(m_list, u"ATTR", false), u"");
    EXPECT_EQ(GetChildElementInteger(code, u"MISSING", false), 0);
}

TEST_F(DomUtil, ReadsTextsAndIntegers)
{
    const TSDomElement code = FindChildElement(m_list, u"CODE");
    const TSDomElement second = FindNextSiblingElement(code, u"CODE");
    EXPECT_EQ(GetChildElementInteger(code, u"RID", false), 12);
    EXPECT_EQ(GetChildElementInteger(code, u"IID", true), -42);
    EXPECT_EQ(GetChildElementInteger(code, u"HEX", true, 16), 255);
    EXPECT_EQ(GetChildElementInteger(code, u"EMPTY", false), 0);
    EXPECT_EQ(U8(GetChildElementText(second, u"NAME", true)), "first\nsecond");
    EXPECT_EQ(FindChildElement(second, u"NAME").GetChildNodes().GetLength(), 1u)
        << "the element was normalised";
    EXPECT_EQ(GetChildElementText(second, u"MIXED", true), u"") << "a CDATA section is not text";
    EXPECT_EQ(GetAttribute(code, u"LOW", true), u"0");
    EXPECT_EQ(GetChildElementInteger(ParseUtf8("<a><n>99999999999999999999999</n></a>").GetDocumentElement(),
                                     u"n", true),
              LONG_MAX);
}

TEST_F(DomUtil, RejectsNullNodesAndEmptyNames)
{
    EXPECT_THROW(FindChildElement(TSDomNode(), u"X"), TSInternalError);
    EXPECT_THROW(FindChildElement(m_list, u""), TSInternalError);
    EXPECT_THROW(GetElementText(TSDomElement()), TSInternalError);
    EXPECT_THROW(GetChildElementInteger(m_list, u"CODE", false, 0), TSInternalError);
    EXPECT_THROW(TSDomXmlException(0, "x"), TSInternalError);
}

} // namespace
