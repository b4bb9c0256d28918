// The JavaScript normaliser. Every expected view below is what clamscan
// 1.4.6 wrote as `javascript` (clamscan --leave-temps) for a page
// <html><body><script>SCRIPT</script></body></html>; its HTML reader hands
// the script over with "</script>" and with line ends made spaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "js_normalise.h"

using namespace qdx;

namespace {

std::string asHanded(std::string script) {
    for (char& c : script)
        if (c == '\n') c = ' ';
    return script + "</script>";
}

std::string finish(JsNormaliser& js, bool first = true) {
    std::string out;
    js.finish(first, [&](std::string_view piece) { out += piece; });
    return out;
}

std::string viewOfChunks(const std::vector<std::string>& chunks, bool first = true) {
    JsNormaliser js;
    for (const auto& c : chunks) js.feed(c);
    return finish(js, first);
}

std::string viewOf(const std::string& script) { return viewOfChunks({asHanded(script)}); }

struct Case {
    std::string script, view;
};

// Comments, renaming per function, folding, unescape, eval, the packer,
// dF, numbers, escapes, member names, unclosed strings and parentheses.
const std::vector<Case> kClamscanViews = {
    {R"js(var ScriptX=1;)js", R"js(<script>var n000=1;</script>)js"},
    {R"js(/* block */ var a = 1; // line comment
alert(a);)js",
     R"js(<script>var n000=1;line comment alert(n000);</script>)js"},
    {R"js(document.write("Hel" + 'lo' + " World");)js", R"js(<script>document.write("hello world");</script>)js"},
    {R"js(x = unescape("%48%65%6C%6C%6F%20%u0041%zz%4");)js", R"js(<script>x="hello a%zz%4";</script>)js"},
    {R"js(eval("var y=2;alert(y)");)js", R"js(<script>var n000=2;alert(n000)</script>)js"},
    {R"js(function Foo(Bar, Baz){ var Qux = Bar + Baz; return Qux; } Foo(1,2);)js",
     R"js(<script>function n000(n001,n002){var n003=n001+n002;return n003;}foo(1,2);</script>)js"},
    {R"js(eval(function(p,a,c,k,e,d){e=function(c){return c};if(!''.replace(/^/,String)){while(c--){d[c]=k[c]||c}k=[function(e){return d[e]}];e=function(){return'\\w+'};c=1};while(c--){if(k[c]){p=p.replace(new RegExp('\\b'+e(c)+'\\b','g'),k[c])}}return p}('0 1=2;3(1)',4,4,'var|Zed|5|alert'.split('|'),0,{})))js",
     R"js(<script>eval(function(n000,n001,n002,n003,n004,n005){n004=function(n006){return n006};if(!"".replace(/^/,string)){while(n002--){n005[n002]=n003[n002]||n002}n003=[function(n007){return n005[n007]}];n004=function(){return"\w+"};n002=1};while(n002--){if(n003[n002]){n000=n000.replace(new regexp("\b"+n004(n002)+"\b","g"),n003[n002])}}return n000}(var n008=5;alert(n008)))</script>)js"},
    {R"js(x = 0x1F + 1.5e3 + 99999999999 + 007 + 1. + 2.5e + 3.25;)js",
     R"js(<script>x=0 x1f+1500+1215752191+7+1+2.5+3.25;</script>)js"},
    {R"js(s = "a\x41\u0042\n\t\"q\\" + 'it\'s' + "\x4";)js",
     R"js(<script>s="aab  "q\" + 'it's' + " x4";</script>"</script>)js"},
    {R"js(var o = new Object(); o.Name = this.Value; if (o) { return null; } else { o.var = typeof o; })js",
     R"js(<script>var n001=new object();n001.name=this.value;if(n001){return null;}else{n001.var=typeof n001;}</script>)js"},
    {R"js(dF('bmfsu%292*1');)js", R"js(<script></script>alert(1)</script>)js"},
    {R"js(alert("unterminated)js", R"js(<script>alert("unterminated</script>")</script>)js"},
    {R"js(function a(x){function b(y){var z=x+y;return z} return b(x)} var x=3;)js",
     R"js(<script>function n000(n001){function n002(n003){var n004=n001+n003;return n004}return b(n001)}var n005=3;</script>)js"},
    {R"js(var \u0061bc = 1; q\w = 2;)js", R"js(<script>var n000=1;q w=2;</script>)js"},
    {R"js(x=1; var x=2; var x=3; x)js", R"js(<script>n001=1;var n001=2;var n001=3;n001</script>)js"},
    {R"js(var a, b = [1,2], c; c = a;)js", R"js(<script>var n000,n001=[1,2],n002;n002=n000;</script>)js"},
    {R"js(eval(unescape("%61%6C%65%72%74%28%31%29"));)js", R"js(<script>alert(1)</script>)js"},
    {R"js(var script=1;)js", R"js(<script>var n000=1;</n000></script>)js"},
    {R"js(A = "UPPER Case\tTab"; B = 'x' + 'y' + z + 'w';)js",
     R"js(<script>a="upper case tab";b="xy"+z+"w";</script>)js"},
    {R"js((function(){ var inner = 1; })(); outer.call(inner);)js",
     R"js(<script>(function(){var n000=1;})();outer.call(inner);</script>)js"},
    {R"js(a+++b; c>>>=2; d!==e; f<<=g; h===i;)js", R"js(<script>a+++b;c>>>=2;d!==e;f<<=g;h===i;</script>)js"},
    {R"js(function(p,a,c){ return p+a+c } ("x", 2, 3);)js",
     R"js(<script>function(n000,n001,n002){return n000+n001+n002}("x",2,3);</script>)js"},
    {R"js(var f = function(q) { return q * 2; }; f(3); q;)js",
     R"js(<script>var n000=function(n001){return n001*2;};n000(3);q;</script>)js"},
};

// Decoders within functions and within each other, named packers called
// twice, eval of what is not one literal, and what a decoded text leaves
// open (a comment, a string, a name at its end).
const std::vector<Case> kClamscanDecoderViews = {
    {R"js(function f(a){ eval("var b = a; function g(c){ return b + c }"); return b } f(1);)js",
     R"js(<script>function n000(n001){var n002=n001;function n003(n004){return n002+n004}return n002}f(1);</script>)js"},
    {R"js(eval("eval(\"var z = 1\")"); z;)js", R"js(<script>eval("var z = 1")z;</script>)js"},
    {R"js(function P(p,a,c,k,e,d){return p} P('0 1',10,2,'x|y'.split('|'),0,{}); P('1 0;',10,2,'x|y',0,{}); end;)js",
     R"js(<script>function n000(n001,n002,n003,n004,n005,n006){return n001}p(x yy x;);end;</script>)js"},
    {R"js(eval("eval(function(p,a,c,k,e,d){return p}('0 1 2',10,3,'var|Q|w'.split('|'),0,{}))"); tail;)js",
     R"js(<script>eval(function(n000,n001,n002,n003,n004,n005){return n000}(var n006))tail;</script>)js"},
    {R"js(function h(){ dF('bmfsu%292*1'); var x = 1; } h();)js",
     R"js(<script>function n000(){var n001=1;}h();</script>alert(1)</script>)js"},
    {R"js(var q = "a" + "b" + unescape("%41") + "c"; q;)js", R"js(<script>var n000="ab"+"a"+"c";n000;</script>)js"},
    {R"js(eval(x); eval("a" + b); eval('c' + 'd'); eval(unescape("%76%61%72%20%61%3D%31"));)js",
     R"js(<script>eval(x);eval("a"+b);eval("var a=1");</script>)js"},
    {R"js(function(){ function(){ eval("var deep = 1; deep") } }; deep;)js",
     R"js(<script>function(){function(){var n000=1;}};n000;</script>)js"},
    {R"js(eval("function k(p,a,c,k,e,d){return p} k('0',10,1,'QQ',0,{})"); more;)js",
     R"js(<script>function n004(n001,n002,n003,n004,n005,n006){return n001}k("0",10,1,"qq",0,{})more;</script>)js"},
    {R"js(eval(function(p,a,c,k,e,r){return p}('0\'1\"2',62,3,'A|B|C'.split('|'),0,{})))js",
     R"js(<script>eval(function(n000,n001,n002,n003,n004,n005){return n000}(a))</script>)js"},
    {R"js(eval(function(p,a,c,k,e,d){return p}('Z9 zz 10 a',62,100,'|one|two|three'.split('|'),0,{}));)js",
     R"js(<script>eval(function(n000,n001,n002,n003,n004,n005){return n000}(z9 zz 10));</script>)js"},
    {R"js(eval("/* open comment"); after; eval("tail");)js", R"js(<script>after;</script>)js"},
    {R"js(eval("'unterminated"); x;)js", R"js(<script>x;</script>)js"},
    {R"js(var a = 1, b = 2; function z(){ var a = 3; a; b; } a;)js",
     R"js(<script>var n000=1,n001=2;function n002(){var n003=3;n003;n001;}n000;</script>)js"},
};

// The tokenizer and the scopes at their edges: spacing between words,
// number formats and C int wrap-round, escapes (bad hex sets every bit),
// declarations a block or a comma hides, object literals, member names
// that are keywords, names seen before their declaration, case, adjacent
// strings, an escaped line end, and regular expressions as plain tokens.
const std::vector<Case> kClamscanTokenViews = {
    {"if (a in b) { x = typeof a instanceof B; } return void 0;",
     "<script>if(a in b){x=typeof a instanceof b;}return void 0;</script>"},
    {"x = 1e21 + 0.000001 + 123456789.0 + 1.0E-7 + 2147483648 + 4294967297 + 00.5;",
     "<script>x=1 e21+1e-06+1.23457e+08+1e-07+-2147483648+1+0.5;</script>"},
    {"s = \"\\u20ac\\u00e9\\xZZ\\x4g\" + '\\f\\v\\b\\r\\0end';",
     "<script>s=\"\xe2\x82\xac\xc3\xa9\xff\xff  \x08 \x01"
     "end\";</script>"},
    {"function f(a){ var b, c; b = c; } var d = [1, e, g], h; if (x) { var i = 1, j = 2; } i; j;",
     "<script>function n000(n001){var n002,c;n002=c;}var n003=[1,e,g],n004;if(x){var n005=1,j=2;}n005;j;</script>"},
    {"var o = {p: 1, q: 2}, r = 3; o; r;", "<script>var n000={p:1,q:2},n001=3;n000;n001;</script>"},
    {"for (var k = 0, m = 1; k < m; k++) { n = k; }",
     "<script>for(var n000=0,n001=1;n000<n001;n000++){n=n000;}</script>"},
    {"var $dollar = 1, _under = 2; $dollar + _under;", "<script>var n000=1,n001=2;n000+n001;</script>"},
    {"obj.var = 1; obj.function = 2; obj.If = 3; x.y.z = w.v;",
     "<script>obj.var=1;obj.function=2;obj.if=3;x.y.z=w.v;</script>"},
    {"function outer(a){ var v = 1; function inner(b){ return v + a + b + w; } var w = 2; return inner; } v; w;",
     "<script>function n000(n001){var n002=1;function n003(n004){return n002+n001+n004+n005;}var n005=2;return "
     "inner;}v;w;</script>"},
    {"var A = 1; var a = 2; A + a;", "<script>var n000=1;var n001=2;n000+n001;</script>"},
    {"x = 'it''s' + \"two\"\"strings\";", "<script>x=\"it\"\"stwo\"\"strings\";</script>"},
    {"x = \"unterminated \\", "<script>x=\"unterminated </script>\"</script>"},
    {"continued\";", "<script>continued\";</script>\"</script>"},
    {"y = a/b/c; z = /re+gex/g.test(s);", "<script>y=a/b/c;z=/re+gex/g.test(s);</script>"},
};

TEST(JsNormalise, ViewsAreClamscans) {
    for (const auto* cases : {&kClamscanViews, &kClamscanDecoderViews, &kClamscanTokenViews}) {
        for (const Case& c : *cases) {
            JsNormaliser js;
            js.feed(asHanded(c.script));
            EXPECT_EQ(finish(js), c.view) << c.script;
            EXPECT_FALSE(js.truncated()) << c.script;
        }
    }
}

TEST(JsNormalise, AViewEndingAtExactly64KiBGetsASecondEndTag) {
    // clamscan looks for the end tag in its 64 KiB output buffer, which a
    // view of exactly that size has just emptied: it wrote this view, 9
    // bytes longer than 64 KiB, for this script.
    std::string script;
    for (int i = 0; i < 32758; ++i) script += "a;";
    script += "ab;";
    const std::string view = viewOf(script);
    EXPECT_EQ(view.size(), 65536u + 9);
    EXPECT_EQ(view.substr(view.size() - 18), "</script></script>");
    // One byte less and the end tag is seen.
    script.pop_back();
    EXPECT_EQ(viewOf(script).size(), 65535u);
}

TEST(JsNormalise, LaterScriptsOfAPageStartOnANewLineAndAreRenamedAfresh) {
    // clamscan: <script>var a=1;</script>...<SCRIPT language="javascript">var b=a;</SCRIPT>
    const std::string first = viewOfChunks({"var a=1;</script>"}, true);
    const std::string second = viewOfChunks({"var b=a;</SCRIPT>"}, false);
    EXPECT_EQ(first + second, "<script>var n000=1;</script>\n<script>var n000=a;</script>");
}

TEST(JsNormalise, ChunksEndingAtBlanksChangeNothing) {
    // The HTML reader ends its chunks at blanks: every such cut, even inside
    // a string or comment, must give the view of the whole.
    const std::string whole = asHanded(
        "/* a  comment */ var Abc = \"two  words\" + 'and more'; function f(p, q) { var r = p; "
        "return unescape(\"%41 %42\") + eval(\"var s = 1; s\"); } x = 15 + 22 ; 'open");
    const std::string expected = viewOfChunks({whole});
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        if (whole[cut] != ' ') continue;
        EXPECT_EQ(viewOfChunks({whole.substr(0, cut), whole.substr(cut)}), expected) << cut;
        EXPECT_EQ(viewOfChunks({whole.substr(0, cut + 1), whole.substr(cut + 1)}), expected) << cut;
    }
}

TEST(JsNormalise, ChunkEndsCutTokensAsClamscanDoes) {
    EXPECT_EQ(viewOfChunks({"var ab", "cd=12", "34;x=\"a", "b\";</script>"}),
              "<script>var n000=1234;x=\"ab\";</script>");
    // clamscan wrote these for pages whose first 8191-byte chunk (no blank
    // in it to end at) ended with the first piece.
    const std::vector<std::pair<std::string, std::string>> cuts = {
        {"x=1.5", " ;y=2.5;"},                            // the number forgets its point
        {"x=1.5e", "+2;"},                                // the 'e' is read twice
        {"q=ab\\", "u0041;"},                             // a backslash at the end ends the name
        {"q=x\\", "w;"},          {"s=\"a\\", "x41\";"},  // an escape cut in two stays as written
        {"x=1;//", "c;y=2;"},                             // a comment runs to the next blank
        {"x=1;/", "/c y=2;"},                             // "//" cut in two is no comment
        {"/* x *", "/ y; */ z;"},                         // nor is "*/"
    };
    const std::vector<std::string> views = {
        "<script>x=1;y=2.5;</script>",    "<script>x=1.5 e+2;</script>",
        "<script>q=ab u0041;</script>",   "<script>q=x w;</script>",
        "<script>s=\"a\\x41\";</script>", "<script>x=1;</script>",
        "<script>x=1;//c y=2;</script>",  "<script>z;</script>",
    };
    for (size_t i = 0; i < cuts.size(); ++i)
        EXPECT_EQ(viewOfChunks({cuts[i].first, cuts[i].second + "</script>"}), views[i]) << cuts[i].first;
}

TEST(JsNormalise, UnescapeDecodesAsClamscan) {
    EXPECT_EQ(unescapeJs("%41%u00e9%u0000%00%4"), std::string("A\xC3\xA9\x01\x01%4"));
    EXPECT_EQ(unescapeJs("%u12"), "%u12");
    EXPECT_EQ(unescapeJs("%u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(unescapeJs(std::string("a\0b", 3)), "a");
}

TEST(JsNormalise, HostileScriptsCostBoundedWork) {
    {  // functions nested past the depth bound
        std::string deep;
        for (int i = 0; i < 200000; ++i) deep += "function(){";
        JsNormaliser js;
        js.feed(deep);
        const std::string out = finish(js);
        EXPECT_TRUE(js.truncated());
        EXPECT_LT(out.size(), 64 * kMaxJsScopeDepth);
    }
    {  // a million open brackets and parentheses, fed in small chunks
        JsNormaliser js;
        const std::string chunk(4096, '(');
        for (int i = 0; i < 256; ++i) js.feed(chunk + std::string(4096, '['));
        const std::string out = finish(js);
        EXPECT_TRUE(js.truncated());
        EXPECT_LE(out.size(), 2 * kMaxJsTokens + 32);
    }
    {  // a string never closed, fed in chunks: held up to its bound only
        JsNormaliser js;
        js.feed("x='");
        const std::string chunk(1 << 20, 'a');
        for (uint64_t fed = 0; fed <= kMaxJsTextHeld + chunk.size(); fed += chunk.size()) js.feed(chunk);
        EXPECT_TRUE(js.truncated());  // given up as it came, not held to the end
        const std::string out = finish(js);
        EXPECT_LE(out.size(), kMaxJsTextHeld + chunk.size() + 64);
    }
    {  // eval of eval of ... of a string that is itself long: bounded by the input
        std::string inner = "x";
        for (int i = 0; i < 12; ++i) {
            std::string quoted;
            for (char c : inner)
                quoted += c == '"' ? std::string("\\x22") : c == '\\' ? std::string("\\x5c") : std::string(1, c);
            inner = "eval(\"" + quoted + "\");" + inner;
        }
        const std::string out = viewOf(inner);
        EXPECT_LT(out.size(), 64 * inner.size());
    }
}

TEST(JsNormalise, APackerThatExplodesIsStopped) {
    // Each word of p is a word of k that is k itself many times over:
    // the expansion must stop at its budget, not at memory's end.
    std::string k = std::string(4000, 'A');
    std::string p;
    for (int i = 0; i < 4000; ++i) p += "0 ";
    const std::string script = "eval(function(p,a,c,k,e,d){return p}('" + p + "',10,1,'" + k + "'.split('|'),0,{}))";
    JsNormaliser js;
    js.feed(asHanded(script));
    const std::string out = finish(js);
    EXPECT_TRUE(js.truncated());
    EXPECT_LT(out.size(), kMaxJsDecoded);
    // Within its budget the same packer is unpacked (clamscan's view: the
    // name that ends the unpacked text is lost, as it is there).
    EXPECT_EQ(viewOf("eval(function(p,a,c,k,e,d){return p}('0 1',10,2,'Aa|b'.split('|'),0,{}))"),
              "<script>eval(function(n000,n001,n002,n003,n004,n005){return n000}(aa))</script>");
}

}  // namespace
