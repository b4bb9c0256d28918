// Hash signatures of one digest size: looked up by size first, then by
// digest, in one sorted array of fixed-size entries. The arrays are the
// table's own while it is built, or lie in a mapped signature image.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace qdx {

template <size_t N>
struct HashEntry {
    uint32_t size;
    uint32_t name;  // offset into the names
    std::array<uint8_t, N> digest;
};

template <size_t N>
class HashTable {
public:
    void add(bool anySize, uint32_t size, const uint8_t* digest, uint32_t name) {
        HashEntry<N> e{size, name, {}};
        std::memcpy(e.digest.data(), digest, N);
        (anySize ? any_ : sized_).push_back(e);
    }
    void sort() {
        auto less = [](const HashEntry<N>& a, const HashEntry<N>& b) {
            return a.size != b.size ? a.size < b.size : a.digest < b.digest;
        };
        std::sort(sized_.begin(), sized_.end(), less);
        std::sort(any_.begin(), any_.end(), [](const HashEntry<N>& a, const HashEntry<N>& b) { return a.digest < b.digest; });
    }
    bool empty() const { return sized().empty() && any().empty(); }
    void reserveMore(size_t entries) { sized_.reserve(sized_.size() + entries); }
    // Whether a digest of an object this large could match at all.
    bool wants(uint64_t size) const {
        if (!any().empty()) return true;
        if (size > 0xFFFFFFFFu) return false;
        const auto sized = this->sized();
        const auto it = std::lower_bound(sized.begin(), sized.end(), static_cast<uint32_t>(size),
                                         [](const HashEntry<N>& e, uint32_t s) { return e.size < s; });
        return it != sized.end() && it->size == size;
    }
    // Calls found(name) for every entry matching size and digest.
    template <class Found>
    void find(uint64_t size, const uint8_t* digest, Found&& found) const {
        std::array<uint8_t, N> d;
        std::memcpy(d.data(), digest, N);
        if (size <= 0xFFFFFFFFu) {
            HashEntry<N> key{static_cast<uint32_t>(size), 0, d};
            const auto sized = this->sized();
            auto range = std::equal_range(sized.begin(), sized.end(), key, [](const HashEntry<N>& a, const HashEntry<N>& b) {
                return a.size != b.size ? a.size < b.size : a.digest < b.digest;
            });
            for (auto it = range.first; it != range.second; ++it) found(it->name);
        }
        HashEntry<N> key{0, 0, d};
        const auto any = this->any();
        auto range = std::equal_range(any.begin(), any.end(), key,
                                      [](const HashEntry<N>& a, const HashEntry<N>& b) { return a.digest < b.digest; });
        for (auto it = range.first; it != range.second; ++it) found(it->name);
    }
    // Drops the entries whose name `drop` tells.
    template <class Drop>
    size_t removeIf(Drop&& drop) {
        size_t before = sized_.size() + any_.size();
        auto pred = [&](const HashEntry<N>& e) { return drop(e.name); };
        sized_.erase(std::remove_if(sized_.begin(), sized_.end(), pred), sized_.end());
        any_.erase(std::remove_if(any_.begin(), any_.end(), pred), any_.end());
        return before - sized_.size() - any_.size();
    }
    size_t size() const { return sized().size() + any().size(); }
    std::pair<size_t, size_t> mark() const { return {sized_.size(), any_.size()}; }
    void rollback(std::pair<size_t, size_t> m) {
        sized_.resize(m.first);
        any_.resize(m.second);
    }
    void shrink() {
        sized_.shrink_to_fit();
        any_.shrink_to_fit();
    }

    // Entries with a size, sorted by size and digest; entries for any size,
    // sorted by digest.
    std::span<const HashEntry<N>> sized() const { return mapped_ ? mappedSized_ : std::span<const HashEntry<N>>(sized_); }
    std::span<const HashEntry<N>> any() const { return mapped_ ? mappedAny_ : std::span<const HashEntry<N>>(any_); }
    // Looks up in sorted arrays that lie elsewhere and outlive the table.
    void attach(std::span<const HashEntry<N>> sized, std::span<const HashEntry<N>> any) {
        sized_ = {};
        any_ = {};
        mappedSized_ = sized;
        mappedAny_ = any;
        mapped_ = true;
    }

private:
    std::vector<HashEntry<N>> sized_, any_;
    std::span<const HashEntry<N>> mappedSized_, mappedAny_;
    bool mapped_ = false;
};

// The three digest sizes for one use (file hashes, section hashes, allow list).
struct HashTables {
    HashTable<16> md5;
    HashTable<20> sha1;
    HashTable<32> sha256;
};

}  // namespace qdx
