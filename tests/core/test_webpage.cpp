#include "client/webpage.h"

#include "tests/core/coretest.h"
#include "tests/support/tempdir.h"

#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

const fs::path kShippedMenu = fs::path(LUMORA_SOURCE_DIR) / "data/wvmenusrc.htm";
const fs::path kShippedFrame = fs::path(LUMORA_SOURCE_DIR) / "data/wvframesrc.htm";

CWebPageTexts Texts(std::string helpLink = "http://127.0.0.1:8470/help?IID=1")
{
    return {"Stored Codes List", "Stored Code List", "Help", "for more information", "See",
            std::move(helpLink)};
}

TEST(WebPageView, TheEleventhViewReusesTheFirstPairsNames)
{
    TempDir folder;
    CWebPageView view(folder / "pages");
    view.SetTemplates(kShippedMenu, kShippedFrame);
    view.Items().push_back({"036000291452", "http://127.0.0.1:8470/item", "Oat Crunch"});
    std::vector<std::string> frames;
    for (int i = 0; i < 11; ++i) {
        const CWebPageResult built = view.Build(Texts());
        ASSERT_TRUE(built.Ok()) << built.result << " " << built.file;
        EXPECT_EQ(built.file, view.FramePage());
        frames.push_back(built.file.filename().string() + "+" + view.MenuPage().filename().string());
    }
    EXPECT_EQ(frames, (std::vector<std::string>{
                          "frame1.htm+menu1.htm", "frame2.htm+menu2.htm", "frame3.htm+menu3.htm",
                          "frame4.htm+menu4.htm", "frame5.htm+menu5.htm", "frame6.htm+menu6.htm",
                          "frame7.htm+menu7.htm", "frame8.htm+menu8.htm", "frame9.htm+menu9.htm",
                          "frame0.htm+menu0.htm", "frame1.htm+menu1.htm"}));
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder / "pages"))
        files.insert(entry.path().filename().string());
    std::set<std::string> pairs;
    for (int i = 0; i < 10; ++i)
        pairs.insert({"frame" + std::to_string(i) + ".htm", "menu" + std::to_string(i) + ".htm"});
    EXPECT_EQ(files, pairs) << "never more than ten pairs";
    EXPECT_NE(Read(folder / "pages/frame1.htm").find("src=\"menu1.htm\""), std::string::npos);
}

TEST(WebPageView, EveryValueIsEscapedAndOnlyWebAddressesAreLinks)
{
    TempDir folder;
    CWebPageView view(folder.Path());
    view.SetTemplates(kShippedMenu, kShippedFrame);
    view.Items() = {
        {"<b>0360</b>", "http://127.0.0.1:8470/item?a=1&b=\"2\"'x", "<script>alert(\"x\")</script> & 'q'"},
        {"JS", "javascript:alert(1)", "run me"},
        {"DATA", " data:text/html,<script>alert(2)</script>", "data"},
        {"UPPER", "HTTPS://example.test/Page", "fine"},
    };
    ASSERT_TRUE(view.Build(Texts("javascript:alert('help')")).Ok());
    const std::string menu = Read(view.MenuPage());
    for (const char* absent :
         {"<script", "<b>", "href=\"javascript:", "href=\" data:", "javascript:alert('help')"})
        EXPECT_EQ(menu.find(absent), std::string::npos) << absent << "\n" << menu;
    for (const char* present : {
             "<a href=\"http://127.0.0.1:8470/item?a=1&amp;b=&quot;2&quot;&#39;x\" "
             "target=\"main\">&lt;b&gt;0360&lt;/b&gt;</a>",
             "<td>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;q&#39;</td>",
             "<td class=\"code\">JS</td><td>run me</td>",
             "<td class=\"code\">DATA</td>",
             "<a href=\"HTTPS://example.test/Page\" target=\"main\">UPPER</a>",
             "<p class=\"help\">See Help for more information.</p>",
         })
        EXPECT_NE(menu.find(present), std::string::npos) << present << "\n" << menu;
}

// Server texts with terminal commands, bells and line breaks (raw, or as
// read from character references) are written out, not passed on.
TEST(WebPageView, ControlCharactersAreWrittenOut)
{
    TempDir folder;
    CWebPageView view(folder.Path());
    view.SetTemplates(kShippedMenu, kShippedFrame);
    view.Items() = {{"0360\r", "http://127.0.0.1:8470/item", "\x1b[2J\x1b[31mRed\a\rover\x7f"}};
    ASSERT_TRUE(view.Build(Texts()).Ok());
    const std::string menu = Read(view.MenuPage());
    EXPECT_NE(menu.find("<td>\\e[2J\\e[31mRed\\a\\rover\\x7f</td>"), std::string::npos) << menu;
    EXPECT_NE(menu.find(">0360\\r</a>"), std::string::npos) << menu;
    for (const char raw : {'\x1b', '\a', '\x7f'})
        EXPECT_EQ(menu.find(raw), std::string::npos) << int(raw);
}

TEST(WebPageView, TemplatesThatCannotBeUsedNameTheFile)
{
    TempDir folder;
    const fs::path good = folder.WriteFile("menu.htm", "<p>^TITLE^</p><!--INSERT-->^CODE^<!--/INSERT--></p>");
    const fs::path frame = folder.WriteFile("frame.htm", "<frame src=\"^MENU^\">");
    const fs::path noMarkers = folder.WriteFile("nomarkers.htm", "<p>^TITLE^</p>");
    const fs::path endFirst = folder.WriteFile("endfirst.htm", "<!--/INSERT--> ^CODE^ <!--INSERT-->");
    const fs::path oddDelimiter =
        folder.WriteFile("odd.htm", "<p>^TITLE</p><!--INSERT-->^CODE^<!--/INSERT-->");
    const fs::path noMenu = folder.WriteFile("nomenu.htm", "<frameset>^TITLE^</frameset>");
    fs::create_directories(folder / "a-folder");
    folder.WriteFile("blocked", "a file where the pages' folder should be");
    const struct {
        fs::path output, menu, frame;
        std::int32_t result;
        fs::path file;
    } table[] = {
        {folder.Path(), folder / "missing.htm", frame, CWebPageView::kCannotOpen, folder / "missing.htm"},
        {folder.Path(), good, folder / "missing.htm", CWebPageView::kCannotOpen, folder / "missing.htm"},
        {folder.Path(), folder / "a-folder", frame, CWebPageView::kCannotRead, folder / "a-folder"},
        {folder.Path(), noMarkers, frame, CWebPageView::kBadTemplate, noMarkers},
        {folder.Path(), endFirst, frame, CWebPageView::kBadTemplate, endFirst},
        {folder.Path(), oddDelimiter, frame, CWebPageView::kBadTemplate, oddDelimiter},
        {folder.Path(), good, noMenu, CWebPageView::kBadTemplate, noMenu},
        {folder / "blocked", good, frame, CWebPageView::kCannotWrite, folder / "blocked/menu1.htm"},
        {folder.Path(), good, frame, CWebPageView::kBuilt, folder / "frame1.htm"},
    };
    for (const auto& row : table) {
        CWebPageView view(row.output);
        view.SetTemplates(row.menu, row.frame);
        view.Items().push_back({"42", "http://127.0.0.1:8470/", ""});
        const CWebPageResult built = view.Build(Texts());
        EXPECT_EQ(built.result, row.result) << row.menu << " " << row.frame;
        EXPECT_EQ(built.file, row.file) << row.menu << " " << row.frame;
    }
    EXPECT_EQ(Read(folder / "menu1.htm"), "<p>Stored Codes List</p>42</p>");
}

// The reference server's descriptions, one of them with markup in it.
class WebViewFlowTest : public RefServerCoreTest {
protected:
    void SetUp() override
    {
        fs::copy(SampleData(), m_data.Path(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::string items = Read(m_data / "items.xml");
        const std::string plain = "<DESCRIPTION>Oat Crunch cereal, 500 g</DESCRIPTION>";
        items.replace(
            items.find(plain), plain.size(),
            "<DESCRIPTION>Oat &lt;script&gt;alert('owned')&lt;/script&gt; \"Crunch\"</DESCRIPTION>");
        std::ofstream(m_data / "items.xml", std::ios::trunc) << items;
        StartServer(m_data.Path());
        Start();
    }

    TempDir m_data;
};

TEST_F(WebViewFlowTest, StoredCodesShowAsAPageWithEveryDescriptionEscaped)
{
    for (const char* code : {"036000291452", "4006381333931", "42"})
        ASSERT_TRUE(View().AddToList(code));
    ASSERT_TRUE(View().EditDescription(2, "<img src=x onerror=\"alert(1)\">"));
    m_port.ClearEvents();
    ASSERT_TRUE(View().ShowInWebPage());
    ASSERT_TRUE(PumpUntilIdle());
    EXPECT_TRUE(m_port.Boxes().empty()) << m_port.Boxes().front();
    const auto opened = m_opener.WaitForAddresses(1);
    ASSERT_EQ(opened.size(), 1u);
    const fs::path frame = UserFolder() / "frame1.htm";
    EXPECT_EQ(opened.front(), "file://" + frame.string());
    EXPECT_NE(Read(frame).find("<frame src=\"menu1.htm\" name=\"menu\">"), std::string::npos);
    const std::string menu = Read(UserFolder() / "menu1.htm");
    EXPECT_EQ(menu.find("<script"), std::string::npos) << menu;
    EXPECT_EQ(menu.find("<img"), std::string::npos) << menu;
    for (const std::string& present : std::vector<std::string>{
             "<td>Oat &lt;script&gt;alert(&#39;owned&#39;)&lt;/script&gt; &quot;Crunch&quot;</td>",
             "<td>&lt;img src=x onerror=&quot;alert(1)&quot;&gt;</td>",
             "<td>Weekly offers</td>",
             "href=\"" + m_base + "help?IID=1&amp;clang=en\"",
         })
        EXPECT_NE(menu.find(present), std::string::npos) << present << "\n" << menu;
    EXPECT_NE(menu.find(">0 36000 29145 2</a>"), std::string::npos) << "the display form of the code\n"
                                                                    << menu;
}

TEST_F(WebViewFlowTest, WithoutALinkedCodeTheViewSaysSo)
{
    ASSERT_TRUE(View().ShowInWebPage());
    EXPECT_EQ(m_port.Boxes(),
              std::vector<std::string>{
                  "There were no codes associated to a web page/URL in the stored code list."});
    EXPECT_EQ(Doc().State(), CDocState::Idle);
    EXPECT_TRUE(m_opener.WaitForAddresses(1, 300ms).empty());
}

} // namespace
