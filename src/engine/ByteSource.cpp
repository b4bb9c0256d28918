#include "engine/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace quendix {

std::size_t MemoryByteSource::read(char* buffer, std::size_t capacity)
{
    std::size_t n = std::min(capacity, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

} // namespace quendix
