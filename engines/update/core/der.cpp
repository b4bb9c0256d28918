#include "der.h"

#include <string>

namespace qdx::update {

DerItem DerReader::next() {
    if (rest_.size() < 2) throw DerError("an encoding ends in the middle of an item");
    const auto at = [&](size_t i) { return static_cast<uint8_t>(rest_[i]); };
    DerItem item;
    item.tag = at(0);
    if ((item.tag & 0x1F) == 0x1F) throw DerError("an encoding has a tag of more than one byte");
    size_t length = at(1), header = 2;
    if (length & 0x80) {
        const size_t count = length & 0x7F;
        // No indefinite lengths in DER, and nothing here is 4 GiB.
        if (count == 0 || count > 4) throw DerError("an encoding has a length that DER does not allow");
        if (rest_.size() < 2 + count) throw DerError("an encoding ends in the middle of a length");
        length = 0;
        for (size_t i = 0; i < count; ++i) length = length << 8 | at(2 + i);
        if (length < 0x80 || (count > 1 && at(2) == 0)) throw DerError("an encoding has a length that DER does not allow");
        header += count;
    }
    if (length > rest_.size() - header) throw DerError("an item is longer than what holds it");
    item.whole = rest_.substr(0, header + length);
    item.body = rest_.substr(header, length);
    rest_.remove_prefix(header + length);
    return item;
}

DerItem DerReader::expect(uint8_t tag, const char* what) {
    if (peekTag() != tag) throw DerError(std::string(what) + " is missing or of the wrong kind");
    return next();
}

bool DerReader::optional(uint8_t tag, DerItem& out) {
    if (atEnd() || peekTag() != tag) return false;
    out = next();
    return true;
}

DerItem derWhole(std::string_view bytes, uint8_t tag, const char* what) {
    DerReader r(bytes);
    const DerItem item = r.expect(tag, what);
    if (!r.atEnd()) throw DerError(std::string(what) + " is followed by other bytes");
    return item;
}

std::string_view derUnsigned(const DerItem& integer, const char* what) {
    std::string_view v = integer.body;
    if (integer.tag != der::kInteger || v.empty()) throw DerError(std::string(what) + " is not a number");
    if (static_cast<uint8_t>(v[0]) & 0x80) throw DerError(std::string(what) + " is negative");
    while (v.size() > 1 && v[0] == 0) v.remove_prefix(1);
    return v;
}

uint32_t derSmall(const DerItem& integer, const char* what) {
    const std::string_view v = derUnsigned(integer, what);
    if (v.size() > 4) throw DerError(std::string(what) + " is out of range");
    uint32_t out = 0;
    for (char c : v) out = out << 8 | static_cast<uint8_t>(c);
    return out;
}

}  // namespace qdx::update
