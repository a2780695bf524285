#include "tst/xml/dom/domnode.h"

#include "tests/xml/xmltestutil.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Name(const TSDomNode& node)
{
    return U8(node.GetNodeName());
}

std::string Value(const TSDomNode& node)
{
    return U8(node.GetNodeValue());
}

// Names of the children, in order, as "a,b,#text".
std::string ChildNames(const TSDomNode& node)
{
    std::string names;
    for (TSDomNode child = node.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling())
        names +=
            (names.empty() ? "" : ",") + (child.GetNodeType() == kDomTextNode ? Value(child) : Name(child));
    return names;
}

TEST(TSDomString, SubstringAssertsItsRangeAndCopiesShareUntilChanged)
{
    const TSDomString hello(u"hello");
    EXPECT_EQ(hello.Substring(1, 3), u"ell");
    EXPECT_EQ(hello.Substring(5, 0), u"");
    EXPECT_THROW(hello.Substring(4, 2), TSInternalError);
    EXPECT_THROW(hello.Substring(6, 0), TSInternalError);

    TSDomString copy = hello;
    EXPECT_EQ(copy.GetRep(), hello.GetRep());
    copy.Append(u" world");
    EXPECT_EQ(hello, u"hello");
    EXPECT_EQ(copy, u"hello world");
    copy.Append(copy.View()); // appending itself
    EXPECT_EQ(copy, u"hello worldhello world");
    EXPECT_EQ(copy.Data()[copy.Length()], u'\0');
}

TEST(TSDomNode, HandlesShareTheNode)
{
    TSDomElement element(u"a");
    TSDomElement copy = element;
    copy.SetNodeName(u"renamed");
    EXPECT_EQ(Name(element), "renamed");
    EXPECT_TRUE(element.IsSameNode(copy));

    TSDomNode null;
    EXPECT_EQ(null.GetNodeType(), 0);
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(Name(null), "");
    EXPECT_THROW(null.SetNodeValue(u"x"), TSInternalError) << "the one null node must not change";
}

TEST(TSDomNode, FixedNodeNamesAndTypes)
{
    struct Case {
        TSDomNode node;
        int type;
        const char* name;
    } cases[] = {
        {TSDomElement(u"tag"), 1, "tag"},
        {TSDomAttr(u"attr", u"v"), 2, "attr"},
        {TSDomText(u"t"), 3, "#text"},
        {TSDomCDATASection(u"c"), 4, "#cdata-section"},
        {TSDomProcessingInstruction(u"target", u"data"), 7, "target"},
        {TSDomComment(u"c"), 8, "#comment"},
        {TSDomDocument(), 9, "#document"},
        {TSDomDocumentFragment(), 11, "#document-fragment"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.node.GetNodeType(), c.type) << c.name;
        EXPECT_EQ(Name(c.node), c.name);
    }
}

TEST(TSDomNode, TypedHandlesCheckTheNodeType)
{
    const TSDomNode text = TSDomText(u"x");
    EXPECT_THROW(TSDomElement{text}, TSInternalError);
    TSDomElement element;
    EXPECT_THROW(element = text, TSInternalError);

    const TSDomElement fromNull{TSDomNode()};
    EXPECT_EQ(fromNull.GetNodeType(), 0);

    // Text handles also take CDATA sections and comments.
    EXPECT_NO_THROW(TSDomText{TSDomNode(TSDomCDATASection(u"c"))});
    EXPECT_NO_THROW(TSDomText{TSDomNode(TSDomComment(u"c"))});
    EXPECT_THROW(TSDomCDATASection{text}, TSInternalError);
    EXPECT_THROW(TSDomDocument{text}, TSInternalError);
}

TEST(TSDomNode, AppendMovesANodeFromItsParent)
{
    TSDomElement first(u"first"), second(u"second");
    TSDomElement child(u"child");
    first.AppendChild(child);
    first.AppendChild(TSDomText(u"t"));
    EXPECT_TRUE(child.GetParentNode().IsSameNode(first));

    second.AppendChild(child);
    EXPECT_EQ(ChildNames(first), "t");
    EXPECT_EQ(ChildNames(second), "child");
    EXPECT_TRUE(child.GetParentNode().IsSameNode(second));
    EXPECT_TRUE(child.GetNextSibling().IsNull());
}

TEST(TSDomNode, StructuralOperationsRejectCyclesAndNonParents)
{
    TSDomElement grand(u"grand"), parent(u"parent"), child(u"child");
    grand.AppendChild(parent);
    parent.AppendChild(child);
    EXPECT_THROW(child.AppendChild(grand), TSInternalError);
    EXPECT_THROW(child.AppendChild(parent), TSInternalError);
    EXPECT_THROW(child.InsertBefore(grand, TSDomNode()), TSInternalError);
    EXPECT_THROW(child.ReplaceChild(grand, TSDomNode()), TSInternalError);
    EXPECT_THROW(child.AppendChild(child), TSInternalError);
    EXPECT_THROW(parent.AppendChild(TSDomNode()), TSInternalError);

    TSDomText text(u"t");
    EXPECT_THROW(text.AppendChild(TSDomElement(u"x")), TSInternalError);
    EXPECT_THROW(text.RemoveChild(child), TSInternalError);
    EXPECT_THROW(TSDomNode().AppendChild(child), TSInternalError);
    EXPECT_EQ(ChildNames(grand), "parent") << "a refused operation changes nothing";
}

TEST(TSDomNode, InsertReplaceAndRemove)
{
    TSDomElement parent(u"p");
    TSDomElement a(u"a"), b(u"b"), c(u"c"), d(u"d");
    parent.AppendChild(a);
    parent.AppendChild(c);
    EXPECT_TRUE(parent.InsertBefore(b, c).IsSameNode(b));
    EXPECT_EQ(ChildNames(parent), "a,b,c");
    parent.InsertBefore(d, TSDomElement(u"stranger")); // not a child: appended
    EXPECT_EQ(ChildNames(parent), "a,b,c,d");
    parent.InsertBefore(d, a); // moving within the same parent
    EXPECT_EQ(ChildNames(parent), "d,a,b,c");

    TSDomElement e(u"e");
    EXPECT_TRUE(parent.ReplaceChild(e, b).IsSameNode(b));
    EXPECT_EQ(ChildNames(parent), "d,a,e,c");
    EXPECT_TRUE(b.GetParentNode().IsNull());
    EXPECT_TRUE(parent.ReplaceChild(b, TSDomElement(u"x")).IsNull()) << "old not a child: new is appended";
    EXPECT_EQ(ChildNames(parent), "d,a,e,c,b");

    EXPECT_TRUE(parent.RemoveChild(a).IsSameNode(a));
    EXPECT_TRUE(parent.RemoveChild(a).IsNull());
    EXPECT_TRUE(a.GetParentNode().IsNull());
    EXPECT_EQ(ChildNames(parent), "d,e,c,b");
    EXPECT_EQ(parent.GetChildNodes().GetLength(), 4u);
}

TEST(TSDomNode, FragmentsGiveTheirChildren)
{
    TSDomElement parent(u"p");
    TSDomElement last(u"last");
    parent.AppendChild(last);
    TSDomDocumentFragment fragment;
    fragment.AppendChild(TSDomElement(u"x"));
    fragment.AppendChild(TSDomElement(u"y"));
    parent.InsertBefore(fragment, last);
    EXPECT_EQ(ChildNames(parent), "x,y,last");
    EXPECT_FALSE(fragment.HasChildNodes());

    fragment.AppendChild(TSDomElement(u"z"));
    parent.ReplaceChild(fragment, last);
    EXPECT_EQ(ChildNames(parent), "x,y,z");
}

TEST(TSDomDocument, AcceptsOnlyMiscellanyThroughTheOperations)
{
    TSDomDocument document(u"root");
    const TSDomElement root = document.GetDocumentElement();
    EXPECT_EQ(Name(root), "root");
    document.InsertBefore(TSDomComment(u"c"), root);
    document.AppendChild(TSDomProcessingInstruction(u"pi"));
    EXPECT_EQ(ChildNames(document), "#comment,root,pi");

    EXPECT_THROW(document.AppendChild(TSDomElement(u"second")), TSInternalError);
    EXPECT_THROW(document.AppendChild(TSDomText(u"t")), TSInternalError);
    EXPECT_THROW(document.RemoveChild(root), TSInternalError);
    EXPECT_THROW(document.ReplaceChild(TSDomComment(u"c"), root), TSInternalError);

    const TSDomElement other(u"other");
    EXPECT_TRUE(document.ReplaceChild(other, root).IsSameNode(root));
    EXPECT_EQ(Name(document.GetDocumentElement()), "other");
    EXPECT_TRUE(TSDomDocument().GetDocumentElement().IsNull());
}

TEST(TSDomNodeList, ItemAssertsItsIndexAndTheLenientAccessDoesNot)
{
    TSDomElement parent(u"p");
    for (const char16_t* name : {u"a", u"b", u"c"})
        parent.AppendChild(TSDomElement(name));
    const TSDomNodeList list = parent.GetChildNodes();
    ASSERT_EQ(list.GetLength(), 3u);
    EXPECT_EQ(Name(list.Item(2)), "c");
    EXPECT_EQ(Name(list.Item(0)), "a");
    EXPECT_THROW(list.Item(3), TSInternalError);
    EXPECT_TRUE(list.ItemOrNull(3).IsNull());

    // The list is live: it follows changes of the children.
    parent.RemoveChild(list.Item(1));
    EXPECT_EQ(list.GetLength(), 2u);
    EXPECT_EQ(Name(list.Item(1)), "c");
}

TEST(TSDomNamedNodeMap, LooksUpExactlyAndReplacesInPlace)
{
    TSDomElement element(u"e");
    element.SetAttribute(u"A", u"1");
    element.SetAttributeNode(TSDomAttr(u"b", u"2"));
    EXPECT_TRUE(element.GetAttributeNode(u"a").IsNull()) << "names compare with case";
    EXPECT_EQ(element.GetAttributes().GetNamedItem(u"missing").GetNodeType(), 0);

    TSDomNamedNodeMap map = element.GetAttributes();
    map.SetNamedItem(TSDomAttr(u"A", u"one"));
    ASSERT_EQ(map.GetLength(), 2u);
    EXPECT_EQ(Name(map.Item(0)), "A");
    EXPECT_EQ(Value(map.Item(0)), "one");
    EXPECT_THROW(map.Item(2), TSInternalError);

    // The attribute node is the element's: a change shows through both.
    TSDomAttr b = element.GetAttributeNode(u"b");
    b.SetValue(u"changed");
    EXPECT_EQ(U8(element.GetAttribute(u"b")), "changed");
    EXPECT_TRUE(element.GetAttributeNode(u"b").IsSameNode(b));

    TSDomNamedNodeMap loose = TSDomText(u"t").GetAttributes();
    EXPECT_EQ(loose.GetLength(), 0u);
    loose.SetNamedItem(TSDomAttr(u"x", u"1"));
    EXPECT_EQ(loose.GetLength(), 1u);
}

TEST(TSDomElement, NormalizeMergesAdjacentTextOnly)
{
    TSDomElement parent(u"p");
    TSDomElement inner(u"inner");
    inner.AppendChild(TSDomText(u"x"));
    inner.AppendChild(TSDomText(u"y"));
    parent.AppendChild(TSDomText(u"a"));
    parent.AppendChild(TSDomText(u"b"));
    parent.AppendChild(inner);
    parent.AppendChild(TSDomText(u"c"));
    parent.AppendChild(TSDomCDATASection(u"d"));
    parent.AppendChild(TSDomText(u"e"));
    parent.Normalize();
    EXPECT_EQ(ChildNames(parent), "ab,inner,c,#cdata-section,e");
    EXPECT_EQ(ChildNames(inner), "x,y") << "no descent into child elements";
}

TEST(TSDomText, SplitTextKeepsTheTailAndInsertsTheHead)
{
    TSDomElement parent(u"p");
    TSDomText text(u"hello");
    parent.AppendChild(text);
    const TSDomText tail = text.SplitText(2);
    EXPECT_TRUE(tail.IsSameNode(text));
    EXPECT_EQ(ChildNames(parent), "he,llo");

    TSDomText orphan(u"abc");
    EXPECT_THROW(orphan.SplitText(1), TSInternalError);
    EXPECT_THROW(text.SplitText(4), TSInternalError);

    TSDomCDATASection cdata(u"xyz");
    parent.AppendChild(cdata);
    cdata.SplitText(1);
    EXPECT_EQ(parent.GetLastChild().GetNodeType(), kDomCDATASectionNode);
    EXPECT_EQ(Value(parent.GetLastChild()), "yz");
}

TEST(TSDomNode, CloneNodeCopiesDeeplyOrShallowly)
{
    TSDomDocument document = ParseUtf8("<a x='1'><b y='2'>t<c/></b><!--n--><d/></a>");
    const TSDomElement root = document.GetDocumentElement();

    const TSDomNode deep = root.CloneNode(true);
    EXPECT_EQ(DumpTree(deep), DumpTree(root));
    EXPECT_TRUE(deep.GetParentNode().IsNull());
    TSDomElement(deep.GetFirstChild()).SetAttribute(u"y", u"changed");
    EXPECT_EQ(U8(TSDomElement(root.GetFirstChild()).GetAttribute(u"y")), "2") << "a clone shares nothing";

    const TSDomElement shallow = root.CloneNode(false);
    EXPECT_EQ(DumpTree(shallow), "E a\n") << "no children, no attributes";
    EXPECT_EQ(DumpTree(document.CloneNode(true)), DumpTree(document));
}

TEST(TSDomNode, DeepTreesAreFreedWithoutRecursion)
{
    // Built from the bottom up: each new parent has no ancestors to check.
    TSDomElement root(u"n");
    for (int i = 0; i < 200000; ++i) {
        TSDomElement parent(u"n");
        parent.AppendChild(root);
        root = parent;
    }
    const TSDomNode copy = root.CloneNode(true);
    EXPECT_TRUE(copy.HasChildNodes());
    root = TSDomElement(); // must not overflow the stack
}

TEST(TSDomNode, ADetachedSubtreeOutlivesItsDocument)
{
    TSDomElement kept;
    {
        TSDomDocument document = ParseUtf8("<a><b k='v'><c>text</c></b></a>");
        kept = document.GetDocumentElement().GetFirstChild();
    }
    EXPECT_EQ(DumpTree(kept), "E b k=[v]\n  E c\n    T [text]\n");
    EXPECT_TRUE(kept.GetParentNode().GetParentNode().IsNull());
}

} // namespace
