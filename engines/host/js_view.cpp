// Prints the normalised JavaScript view of simple HTML pages, for comparing
// with clamscan's: each <script ...> element's text through its end tag is
// fed as the HTML reader feeds it (line ends as spaces, one chunk: pages
// under 8 KiB). Until the HTML views call the normaliser, this is how the
// oracle sees it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "js_normalise.h"

namespace {

size_t findNoCase(const std::string& text, const std::string& what, size_t from) {
    const auto it =
        std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(), what.begin(),
                    what.end(), [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qdx-js-view PAGE  (writes the page's script view to standard output)\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "qdx-js-view: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(page.begin(), page.end(), '\n', ' ');
    bool first = true;
    for (size_t at = findNoCase(page, "<script", 0); at != std::string::npos;) {
        const size_t open = page.find('>', at);
        if (open == std::string::npos) break;
        const size_t close = findNoCase(page, "</script", open + 1);
        const size_t gt = close == std::string::npos ? std::string::npos : page.find('>', close);
        const size_t end = gt == std::string::npos ? page.size() : gt + 1;
        qdx::JsNormaliser js;
        js.feed(std::string_view(page).substr(open + 1, end - open - 1));
        js.finish(first, [](std::string_view piece) {
            std::cout.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
        first = false;
        at = findNoCase(page, "<script", end);
    }
    return std::cout.good() ? 0 : 1;
}
