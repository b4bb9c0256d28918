// The HTML views on pages whose views clamscan 1.4.6 wrote out
// (--leave-temps: nocomment.html, notags.html), compared byte for byte, and
// on pages built to reach the edges: chunk boundaries, references that
// overflow, unclosed tags, data URLs.
#include <gtest/gtest.h>

#include "file_type.h"
#include "html_normalise.h"
#include "html_views.h"

using namespace qdx;

namespace {

struct Views {
    std::string noComment, noTags, javaScript, data;
    std::vector<HtmlOutput::DataEvent> events;
};

Views normalise(const std::string& page, unsigned channels = kNoComment | kNoTags | kDataUrls | kJavaScript) {
    MemoryFile file(page);
    HtmlNormaliser n(file, channels);
    Views v;
    HtmlOutput out;
    bool more = true;
    while (more) {
        more = n.step(out);
        for (auto e : out.dataEvents) {
            e.at += v.data.size();
            v.events.push_back(e);
        }
        v.noComment += out.noComment;
        v.noTags += out.noTags;
        v.javaScript += out.javaScript;
        v.data += out.data;
        out.clear();
    }
    return v;
}

std::vector<std::pair<std::string, std::string>> members(const std::string& page) {
    MemoryFile file(page);
    std::vector<std::pair<std::string, std::string>> out;
    auto reader = openHtml(file);
    if (!reader) return out;
    MemberInfo info;
    while (reader->next(info)) {
        std::string data;
        char buffer[7];  // small reads cross every boundary of the output
        while (size_t got = reader->data().read(buffer, sizeof buffer)) data.append(buffer, got);
        out.emplace_back(info.name, data);
    }
    return out;
}

TEST(HtmlNormalise, CommentsTagsEntitiesScriptsAsClamscan) {
    const std::string page =
        "<html><head><title>Hello World</title></head>\n"
        "<!-- a comment here -->\n"
        "<body BGCOLOR='red'>Some &amp; TEXT &#65;&#x42; &lt;x&gt; %41%42\n"
        "<a href=\"http://Example.com/X\">link</a>\n"
        "<script language=\"javascript\">var A = 'Hello'; document.write(A);</script>\n"
        "</body></html>\n";
    const Views v = normalise(page);
    EXPECT_EQ(v.noComment,
              "<html><head><title>hello world</title></head><body bgcolor=\"red\">some & text ab <x> %41%42 <a "
              "href=\"http://example.com/x\">link</a><script language=\"javascript\">vara=\"hello\";document.write(a);"
              "</script></body></html>");
    EXPECT_EQ(v.noTags, " hello world some text x %41%42 http://Example.com/X link ");
}

TEST(HtmlNormalise, ReferencesAndMultiByteCharactersAsClamscan) {
    const std::string page =
        "<html><body>A&apos;B&nbsp;C&eacute;D&yuml;E&Alpha;F&euro;G&AMP;H&#x3002;I&#65537;J&#0;K&#xff;L&#233;M&#X41;N&"
        "amp "
        "O&bogus;P&#12a Q&hellip;R&quot;S\xc3\xa9T\xe3\x80\x82U</body></html>\n";
    const Views v = normalise(page);
    EXPECT_EQ(v.noComment, std::string("<html><body>a'b\xa0"
                                       "c\xe9"
                                       "d&#x00ff;e&#x0391;f&#x20ac;g&amp;h.i\x01j") +
                               std::string(1, '\0') +
                               "k&#x00ff;l\xe9man&amp o&bogus;p\x0c"
                               "a q&#x2026;r\"s\xc3\xa9t.u</body></html>");
    EXPECT_EQ(v.noTags, " a b c d e f g h i j k l m n o p a q r s\xc3\xc3t.u ");
}

TEST(HtmlNormalise, EncodedScriptDecodedIntoTheView) {
    // "var a="hi <b>";\r\nx" encoded: the escapes for '<', '>', CR and LF
    // count twice in the stated length.
    const Views v = normalise(
        "<html><SCRIPT LANGUAGE=\"JScript.Encode\">#@~^FgAAAA==-mD~m'rtk,@!(@*Jp@#@&64gQAAA==^#~@</SCRIPT>\n"
        "<p>After</p></html>\n");
    EXPECT_EQ(v.noComment,
              "<html><script language=\"jscript.encode\"><script language=\"javascript\">vara=\"hi<b>\";x</script>"
              "<p>after</p></html>");
    EXPECT_EQ(v.noTags, " after ");
    EXPECT_EQ(v.javaScript, "<script>var n000=\"hi <b>\";x</script>");
}

TEST(HtmlNormalise, DataUrlsGiveTheirBytes) {
    // A %xx escape cut short takes the character after it (here the quote
    // that would have ended the value), so the second URL runs on.
    const Views v =
        normalise("<a href=\"data:text/plain;base64,SGVsbG8=\">x</a> <img src='data:,a%41b%4' alt=y> <b x=data:,q\tr>");
    EXPECT_EQ(v.noComment, "<a href=\"data\">x</a><img src=\"data\"");
    EXPECT_EQ(v.noTags, " x ");
    ASSERT_EQ(v.events.size(), 4u);
    EXPECT_TRUE(v.events[0].begins);
    EXPECT_EQ(v.events[0].mediaType, "text/plain;base64");
    EXPECT_EQ(v.data.substr(v.events[0].at, v.events[1].at - v.events[0].at), "SGVsbG8=");
    EXPECT_EQ(v.data.substr(v.events[2].at, v.events[3].at - v.events[2].at), "aAb@ alt=y> <b x=data:,q\tr>");
}

TEST(HtmlViews, MembersAreTheViewsThenTheDecodedUrls) {
    const auto m = members(
        "<html><!-- c --><B>Hi</B> <a href='data:x;base64,SGVs bG8'>l</a>"
        "<img src=\"data:,A%42C\"></html>");
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].first, "nocomment.html");
    EXPECT_EQ(m[0].second, "<html><b>hi</b><a href=\"data\">l</a><img src=\"data\"></html>");
    EXPECT_EQ(m[1].first, "notags.html");
    EXPECT_EQ(m[1].second, " hi l ");
    EXPECT_EQ(m[2].second, "Hello");
    EXPECT_EQ(m[3].second, "ABC");
}

TEST(HtmlViews, ScriptsComeAsOneViewBeforeTheUrls) {
    const auto m = members(
        "<html><script>var A = 'x';\n f(A);</script><p>t</p>"
        "<SCRIPT language=javascript>G( 'y' + 'z' )</SCRIPT><img src='data:,Q'></html>");
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[2].first, "javascript");
    EXPECT_EQ(m[2].second, "<script>var n000=\"x\";f(n000);</script>\n<script>g(\"yz\")</script>");
    EXPECT_EQ(m[3].first, "data-1");
    EXPECT_EQ(m[3].second, "Q");
}

// A script's text goes to one normaliser across the chunks the page is read
// in (a name declared in the first is renamed in the last); a script the
// page never closes is written at its end; one in a comment is no script.
TEST(HtmlNormalise, ScriptsAcrossChunksCommentsAndPageEnd) {
    std::string script = "<script>var Early = 1;\n";
    while (script.size() < 3 * kHtmlChunk) script += "call(Early, 'padding padding padding');\n";
    const Views long_ = normalise("<html>" + script + "last(Early);</script></html>");
    EXPECT_EQ(long_.javaScript.substr(0, 20), "<script>var n000=1;c");
    EXPECT_EQ(long_.javaScript.substr(long_.javaScript.size() - 20), "last(n000);</script>");
    EXPECT_EQ(normalise("<html><!-- <script>hidden()</script> --> text").javaScript, "");
    EXPECT_EQ(normalise("<p>before</p><script>open( 1 )  ").javaScript, "<script>open(1)</script>");
    // Only the views asked for are made.
    EXPECT_EQ(normalise("<script>a()</script>", kNoComment).javaScript, "");
}

TEST(HtmlViews, PagesBeyondTheBoundAreNotNormalised) {
    class Huge final : public RandomAccess {
    public:
        uint64_t size() const override { return kMaxHtmlNormalised + 1; }
        size_t readAt(uint64_t, void*, size_t) override { return 0; }
    } huge;
    EXPECT_EQ(openHtml(huge), nullptr);
}

// Chunks end after their last white space: a word is never split, and the
// white space that begins a chunk is dropped, as clamscan drops it.
TEST(HtmlNormalise, ChunksEndAtWhiteSpace) {
    const std::string a(kHtmlChunk - 7, 'a');
    EXPECT_EQ(normalise("<html>" + a + " b").noComment, "<html>" + a + "b");
    EXPECT_EQ(normalise("<html>" + a + "b c").noComment, "<html>" + a + "b c");
    // NUL bytes are left out before anything else.
    EXPECT_EQ(normalise(std::string("A\0B\0\0C", 6)).noComment, "abc");
}

TEST(HtmlNormalise, HostilePagesStayBounded) {
    // A million unclosed tags, each with an attribute: the kept attributes
    // are bounded, the views grow with the page only.
    std::string tags;
    for (int i = 0; i < 200000; ++i) tags += "<a x=1 ";
    const Views a = normalise(tags, kNoComment);
    EXPECT_LT(a.noComment.size(), tags.size() * 2);
    // A reference of a million digits ends where its number would overflow.
    const Views b = normalise("&#" + std::string(1000000, '9') + ";", kNoComment);
    EXPECT_LT(b.noComment.size(), 1000010u);
    // A stated length of four billion characters decodes only what is there.
    const Views c = normalise("<script language=vbscript.encode>#@~^/////w==abc</script>", kNoComment);
    EXPECT_EQ(c.noComment,
              "<script language=vbscript.encode><script language=\"vbscript\">xi4<\x7f"
              "f.o;;h>");
}

}  // namespace

namespace {

// Pages are what clamscan takes for HTML: text holding one of its tags
// anywhere, in the cases it lists.
TEST(HtmlRecognised, ByTheTagsClamscanLooksFor) {
    for (const char* page : {"plain text then <img src=x> here\n", "<Html>", "notes\n<TABLE border=1>",
                             "x <A name=1 HRef=y>", "x <a HREF=y>", "<a x>href", "<%@ LANGUAGE = VBScript %>"})
        EXPECT_EQ(recogniseType(page), FileType::Html) << page;
    // Data that is not text (a DEL, as encoded scripts hold, control
    // characters, NUL bytes) is a page all the same.
    EXPECT_EQ(recogniseType("<%@ LANGUAGE = VBScript.Encode %>\n<%#@~^x\x7fy^#~@%>"), FileType::Html);
    EXPECT_EQ(recogniseType(std::string("abc <html>\x00\x01\x02 BINARY\x00", 20)), FileType::Html);
    for (const char* page : {"<body>text</body>", "<!DOCTYPE html><p>x", "<HTML >", "<A HREf=x>", "<a x>",
                             "<iMG src=x>", "binary\x01\x02 <HTML >"})
        EXPECT_NE(recogniseType(page), FileType::Html) << page;
}

}  // namespace
