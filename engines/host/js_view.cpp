// Prints the normalised JavaScript view of an HTML page, as the HTML reader
// makes it for matching, for comparing with the `javascript` file clamscan
// keeps (oracle/js_cases.py).
#include <iostream>
#include <string>

#include "html_normalise.h"
#include "posix_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qdx-js-view PAGE  (writes the page's script view to standard output)\n";
        return 2;
    }
    try {
        qdx::PosixFile page(argv[1]);
        qdx::HtmlNormaliser normaliser(page, qdx::kJavaScript);
        qdx::HtmlOutput out;
        for (bool more = true; more;) {
            out.clear();
            more = normaliser.step(out);
            std::cout.write(out.javaScript.data(), static_cast<std::streamsize>(out.javaScript.size()));
        }
    } catch (const std::exception& e) {
        std::cerr << "qdx-js-view: " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return std::cout.good() ? 0 : 1;
}
