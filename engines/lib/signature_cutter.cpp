#include "signature_cutter.h"

#include <algorithm>

namespace qdx {

SignatureCutter::SignatureCutter(std::vector<std::string> bodies) {
    for (auto& b : bodies)
        if (!b.empty()) {
            longest_ = std::max(longest_, b.size());
            bodies_.push_back(std::move(b));
        }
}

void SignatureCutter::feed(std::string_view data, const Out& out) {
    held_.append(data);
    cut(false, out);
}

void SignatureCutter::finish(const Out& out) { cut(true, out); }

void SignatureCutter::cut(bool last, const Out& out) {
    const std::string_view text(held_);
    // A body that begins before `limit` lies wholly in what is held; one
    // that begins later may go on in the next chunk.
    const size_t limit = last ? text.size() : text.size() - std::min(text.size(), longest_ ? longest_ - 1 : 0);
    // Where each body is found next: found again only once passed, so that
    // the pass stays linear however many bodies the file holds.
    std::vector<size_t> next(bodies_.size(), 0);
    for (size_t i = 0; i < bodies_.size(); ++i) next[i] = text.find(bodies_[i]);
    size_t pos = 0;
    for (;;) {
        size_t best = std::string_view::npos, length = 0;
        for (size_t i = 0; i < bodies_.size(); ++i) {
            if (next[i] != std::string_view::npos && next[i] < pos) next[i] = text.find(bodies_[i], pos);
            if (next[i] < best || (next[i] == best && next[i] != std::string_view::npos &&
                                   bodies_[i].size() > length)) {
                best = next[i];
                length = bodies_[i].size();
            }
        }
        if (best == std::string_view::npos || best >= limit) break;
        if (best > pos) out(text.substr(pos, best - pos));
        pos = best + length;
        ++cuts_;
    }
    if (pos < limit) {
        out(text.substr(pos, limit - pos));
        pos = limit;
    }
    held_.erase(0, pos);
}

}  // namespace qdx
