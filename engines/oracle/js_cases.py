#!/usr/bin/env python3
"""Cases for the normalised JavaScript of HTML pages, checked against clamscan.

    js_cases.py [--qdx-scan PROGRAM] [--js-view PROGRAM] [--keep DIR] [--seed N]

make_cases(work, rng) writes HTML pages into `work` and returns
(files, hdb_lines, ndb_lines, ldb_lines, planted). Each page holds one script
of one kind the normaliser handles (names declared with var and as
parameters renamed, comments and blanks dropped, literal concatenation
folded, unescape() of a literal decoded, eval() of a literal expanded, the
packer unpacked, dF() decoded); its whole view is known, so each page gets
signatures of target types 0, 3 and 7 and a logical one for a piece of the
view, and the MD5 of the whole view. A signature for the script as written
is never found: clamscan matches an HTML page by its views, not as it lies.

Run alone, it checks the cases with clamscan --allmatch and, when given,
qdx-scan --all-match: each must find exactly what was planted. Given
--js-view (qdx-js-view), it also compares that program's view of each page
with the `javascript` file clamscan --leave-temps keeps, byte for byte.
"""
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile


def escape_all(text):
    """Every byte as %XX, as unescape() reads it."""
    return "".join("%%%02X" % b for b in text.encode())


def make_cases(work, rng):
    files, hdb, ndb, ldb, planted = [], [], [], [], {}
    count = [0]

    def tag():
        count[0] += 1
        return "Qdx%d%s" % (count[0], "".join(rng.choice("ABCDEFGH") for _ in range(6)))

    def page(name, script, piece, view_body, raw_piece=None):
        """A page holding `script`; its view is <script>view_body</script>,
        `piece` a part of the view only the view holds."""
        n = count[0]
        view = ("<script>" + view_body + "</script>").encode("latin-1")
        assert piece.encode("latin-1") in view
        hexed = piece.encode("latin-1").hex()
        ndb.append("Js.Any.%d:0:*:%s" % (n, hexed))
        ndb.append("Js.Html.%d:3:*:%s" % (n, hexed))
        ndb.append("Js.Text.%d:7:*:%s" % (n, hexed))
        ldb.append("Js.Logical.%d;Engine:51-255,Target:3;0&1;%s;%s" % (n, hexed[:16], hexed[-16:]))
        hdb.append("%s:%d:Js.Md5.%d" % (hashlib.md5(view).hexdigest(), len(view), n))
        found = {"Js.Any.%d" % n, "Js.Html.%d" % n, "Js.Text.%d" % n, "Js.Logical.%d" % n, "Js.Md5.%d" % n}
        if raw_piece:
            # As written, the script is in no view: never found.
            ndb.append("Js.Raw.%d:0:*:%s" % (n, raw_piece.encode().hex()))
            ndb.append("Js.RawHtml.%d:3:*:%s" % (n, raw_piece.encode().hex()))
        body = "<html><head><title>%s</title></head><body>\n<p>Some text.</p>\n<script type=\"text/javascript\">%s</script>\n</body></html>\n" % (
            rng.choice(["Page", "Report", "Index"]), script)
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(body.encode("latin-1"))
        files.append(path)
        planted[name] = found

    t = tag()
    low = t.lower()
    page("rename.html", "var %sName = 1; %sUse(%sName);" % (t, t, t),
         "var n000=1;%suse(n000);" % low, "var n000=1;%suse(n000);" % low, raw_piece="var %sName = 1;" % t)

    t = tag()
    low = t.lower()
    page("params.html", "function %sF(Alpha, Beta) { var Gamma = Alpha + Beta; return Gamma; } %sF(1, 2);" % (t, t),
         "function n000(n001,n002){var n003=n001+n002;return n003;}%sf(1,2);" % low,
         "function n000(n001,n002){var n003=n001+n002;return n003;}%sf(1,2);" % low)

    t = tag()
    low = t.lower()
    page("comments.html", "/* A comment */ %sCall  (  1 ,\t2 ) ;\n/* another */ x = 3;" % t,
         "%scall(1,2);x=3;" % low, "%scall(1,2);x=3;" % low, raw_piece="%sCall  (  1 ," % t)

    t = tag()
    low = t.lower()
    page("fold.html", "document.write(\"%s-\" + 'Fold' + \"-End\");" % t,
         "document.write(\"%s-fold-end\");" % low, "document.write(\"%s-fold-end\");" % low)

    t = tag()
    low = t.lower()
    page("unescape.html", "x = unescape(\"%s\");" % escape_all(t + "-Unescaped"),
         "x=\"%s-unescaped\";" % low, "x=\"%s-unescaped\";" % low)

    t = tag()
    low = t.lower()
    page("eval.html", "eval(\"var Ev = '%s'; run(Ev)\");" % t,
         "var n000=\"%s\";run(n000)" % low, "var n000=\"%s\";run(n000)" % low)

    t = tag()
    low = t.lower()
    page("eval-unescape.html", "eval(unescape(\"%s\"));" % escape_all("%s_Call(1)" % t),
         "%s_call(1)" % low, "%s_call(1)" % low)

    t = tag()
    low = t.lower()
    packer = ("eval(function(p,a,c,k,e,d){e=function(c){return c};if(!''.replace(/^/,String)){while(c--){d[c]=k[c]||c}"
              "k=[function(e){return d[e]}];e=function(){return'\\\\w+'};c=1};while(c--){if(k[c]){p=p.replace("
              "new RegExp('\\\\b'+e(c)+'\\\\b','g'),k[c])}}return p}('0(\"1\");',2,2,'alert|%s-unpacked'.split('|'),0,{}))" % t)
    unpacked = ("eval(function(n000,n001,n002,n003,n004,n005){n004=function(n006){return n006};"
                "if(!\"\".replace(/^/,string)){while(n002--){n005[n002]=n003[n002]||n002}n003=[function(n007){return n005[n007]}];"
                "n004=function(){return\"\\w+\"};n002=1};while(n002--){if(n003[n002]){n000=n000.replace(new regexp("
                "\"\\b\"+n004(n002)+\"\\b\",\"g\"),n003[n002])}}return n000}(alert(\"%s-unpacked\");))" % low)
    page("packer.html", packer, "alert(\"%s-unpacked\");" % low, unpacked)

    t = tag()
    low = t.lower()
    shifted = "".join(chr(ord(c) + 1) for c in "%s(1)" % t)
    page("df.html", "dF('%s1');" % escape_all(shifted),
         "</script>%s(1)" % low, "</script>%s(1)" % low)

    # Pages whose scripts the HTML reader hands over in pieces: signatures
    # for pieces only the view holds, and the MD5 of clamscan's own view.
    def whole_page(name, body, pieces):
        n = count[0]
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(body.encode("latin-1"))
        files.append(path)
        found = set()
        for i, piece in enumerate(pieces):
            for target in (0, 3, 7):
                ndb.append("Js.Piece.%d.%d.t%d:%d:*:%s" % (n, i, target, target, piece.encode("latin-1").hex()))
                found.add("Js.Piece.%d.%d.t%d" % (n, i, target))
        view = clamscan_view(path, None, work)
        if view:
            hdb.append("%s:%d:Js.Md5.%d" % (hashlib.md5(view).hexdigest(), len(view), n))
            found.add("Js.Md5.%d" % n)
        planted[name] = found

    import html_cases
    t, u, v = tag(), tag(), tag()
    whole_page("several.html",
               "<html><head><script>var First = '%s'; %sA(First);</script></head>\r\n<body><p>Text</p>\r\n"
               "<SCRIPT type=text/javascript>\r\n  function G(Q) {\r\n return Q * 2; }\r\n %sB(G(2));\r\n</SCRIPT>\r\n"
               "<script language=\"JScript.Encode\">%s</script></body></html>\r\n"
               % (t, t, u, html_cases.screnc("var Hidden = \"%s\";\r\n%sC(Hidden);" % (v, v))),
               ["%sa(n000);</script>" % t.lower(), "\n<script>function n000(n001){return n001*2;}%sb(" % u.lower(),
                "%sc(n000);" % v.lower()])
    t = tag()
    statements = "".join("var V%d = \"%s%d\" + 'x%d'; F%d(V%d);\n" % (i, t, i, i, i % 7, i) for i in range(1500))
    whole_page("long.html", "<html><body><script>\n%s%sEnd(1);\n</script></body></html>\n" % (statements, t),
               ["var n1499=\"%s1499x1499\";f1(n1499);%send(1);</script>" % (t.lower(), t.lower())])
    t = tag()
    whole_page("unclosed.html", "<html><body><script>var Open = 1;\n%sOpen(Open, 'no end')  \n" % t,
               ["%sopen(n000,\"no end\")" % t.lower()])
    t = tag()
    whole_page("commented.html", "<html><body><!-- <script>%sHidden(1);</script> -->"
               "<script>%sShown(2);</script></body></html>" % (t, t),
               ["<script>%sshown(2);</script>" % t.lower()])
    return files, hdb, ndb, ldb, planted


def clamscan_view(page, sigs, work):
    """The `javascript` file clamscan writes for `page` (empty when it
    writes none); `sigs` a database folder, or None for a harmless one."""
    temp = tempfile.mkdtemp(prefix="js-view-", dir=work)
    try:
        if sigs is None:
            sigs = os.path.join(temp, "none.ndb")
            with open(sigs, "w") as f:
                f.write("Js.Nothing:0:*:717478797a717478797a\n")
        subprocess.run(["clamscan", "--leave-temps", "--tempdir", temp, "-d", sigs, page], capture_output=True)
        views = glob.glob(os.path.join(temp, "**", "javascript"), recursive=True)
        if len(views) > 1:
            return None
        if not views:
            return b""
        with open(views[0], "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(temp)


def compare_views(args, files, sigs, work):
    """With --js-view, that program's view of each page against the
    `javascript` file clamscan keeps: the pages that differ."""
    if not args.js_view:
        return 0
    bad = 0
    for path in files:
        theirs = clamscan_view(path, sigs, work)
        ours = subprocess.run([args.js_view, path], capture_output=True).stdout
        if theirs != ours:
            bad += 1
            print("view of %s: clamscan %r, ours %r" % (os.path.basename(path), theirs, ours))
    return bad


if __name__ == "__main__":
    import cases_alone
    sys.exit(cases_alone.check(make_cases, "js-cases", ["--js-view"], compare_views))
