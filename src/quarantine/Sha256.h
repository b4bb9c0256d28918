#pragma once
// SHA-256 through Windows' CNG (bcrypt.dll), loaded when first needed.
#include "quarantine/EntryHeader.h"

#include <cstddef>
#include <cstdint>

namespace quendix::quarantine {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const std::uint8_t* data, std::size_t size);
    void finish(std::uint8_t (&digest)[kSha256Bytes]);

private:
    void* hash_ = nullptr;
};

} // namespace quendix::quarantine
