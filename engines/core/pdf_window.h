// A file searched and read through one buffer of a megabyte: a document's
// objects are looked for in order, so most look-ups fall in the bytes read
// last, and each part of the file is read about once.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stream.h"

namespace qdx::pdf {

inline constexpr uint64_t kNowhere = ~uint64_t{0};
inline constexpr size_t kWindow = size_t{1} << 20;

class Window {
public:
    explicit Window(RandomAccess& file) : file_(file) {}
    uint64_t size() const { return file_.size(); }

    // Bytes from `at`, at most `n` and at least `least` of them (fewer
    // only at the end of the file); `least` at most kWindow.
    std::string_view get(uint64_t at, size_t n, size_t least) {
        if (at >= file_.size()) return {};
        n = static_cast<size_t>(std::min<uint64_t>(n, file_.size() - at));
        least = std::min(least, n);
        if (at < base_ || at + least > base_ + bytes_.size()) {
            base_ = at;
            bytes_.resize(static_cast<size_t>(std::min<uint64_t>(kWindow, file_.size() - at)));
            bytes_.resize(file_.readAt(at, bytes_.data(), bytes_.size()));
        }
        const size_t from = static_cast<size_t>(at - base_);
        return std::string_view(bytes_.data(), bytes_.size()).substr(from, n);
    }
    std::string_view get(uint64_t at, size_t n) { return get(at, n, n); }
    // The first `needle` wholly in [from, to); kNowhere when there is none.
    uint64_t find(std::string_view needle, uint64_t from, uint64_t to) {
        to = std::min(to, file_.size());
        while (from < to && to - from >= needle.size()) {
            const std::string_view v =
                get(from, static_cast<size_t>(std::min<uint64_t>(to - from, SIZE_MAX)), needle.size());
            if (v.size() < needle.size()) break;
            const size_t at = v.find(needle);
            if (at != std::string_view::npos) return from + at;
            if (from + v.size() >= to) break;
            from += v.size() - needle.size() + 1;
        }
        return kNowhere;
    }
    // Bytes [at, at + n) as a string, from the buffer when they are there.
    std::string read(uint64_t at, size_t n) {
        if (at >= size()) return {};
        n = static_cast<size_t>(std::min<uint64_t>(n, size() - at));
        if (at >= base_ && at + n <= base_ + bytes_.size()) return std::string(bytes_.data() + (at - base_), n);
        std::string out(n, '\0');
        out.resize(file_.readAt(at, out.data(), out.size()));
        return out;
    }

private:
    RandomAccess& file_;
    std::vector<char> bytes_;
    uint64_t base_ = 0;
};

}  // namespace qdx::pdf
