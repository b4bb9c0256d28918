// Cuts removable virus bodies out of a file in one pass, chunk by chunk:
// whatever the file's size and however many bodies it holds, each byte is
// looked at a bounded number of times and only one signature's length of it
// is held back between chunks.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qdx {

class SignatureCutter {
public:
    using Out = std::function<void(std::string_view kept)>;
    // Empty bodies are left out. Of bodies found at the same place the
    // longest goes.
    explicit SignatureCutter(std::vector<std::string> bodies);

    // The next bytes of the file; what is kept goes to `out`, in order.
    void feed(std::string_view data, const Out& out);
    // The end of the file.
    void finish(const Out& out);
    uint64_t cuts() const { return cuts_; }

private:
    void cut(bool last, const Out& out);

    std::vector<std::string> bodies_;
    size_t longest_ = 0;
    std::string held_;
    uint64_t cuts_ = 0;
};

}  // namespace qdx
