// Prints how long cutting virus bodies out of a file takes, for files
// holding 1, 2, 4 and 8 MB of bodies: the scanner's one pass in 1 MB chunks
// beside the former way (each body erased where it is found, which moves the
// rest of the file every time).
//
//   engine_disinfect_bench [LARGEST_MB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "signature_cutter.h"

namespace {

const std::string kBody = "<<QDX-TEST Tail.A: harmless test signature of the Quendix engines>>";

bool eraseInPlace(std::string& data) {
    bool any = false;
    for (size_t at = data.find(kBody); at != std::string::npos; at = data.find(kBody, at)) {
        data.erase(at, kBody.size());
        any = true;
    }
    return any;
}

std::string onePass(const std::string& data) {
    qdx::SignatureCutter cutter({kBody});
    std::string kept;
    auto out = [&](std::string_view part) { kept.append(part); };
    for (size_t at = 0; at < data.size(); at += 1 << 20)
        cutter.feed(std::string_view(data).substr(at, 1 << 20), out);
    cutter.finish(out);
    return kept;
}

template <class F>
double seconds(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 8;
    std::printf("%8s %12s %12s\n", "MB", "one pass s", "in place s");
    for (int mb = 1; mb <= largest; mb *= 2) {
        std::string data;
        while (data.size() < (static_cast<size_t>(mb) << 20)) data += kBody + "x";
        std::string cut, erased = data;
        const double pass = seconds([&] { cut = onePass(data); });
        const double place = seconds([&] { eraseInPlace(erased); });
        if (cut != erased) {
            std::fprintf(stderr, "the two ways disagree at %d MB\n", mb);
            return 1;
        }
        std::printf("%8d %12.3f %12.3f\n", mb, pass, place);
    }
    return 0;
}
