// Signed containers and patches made the way the database maker makes them,
// with the test keys (test_keys.h), for the updater's host tests and fuzz
// seeds. Signing uses OpenSSL, so that the updater's own arithmetic and
// padding checks are compared with another implementation.
#pragma once
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "signature.h"

namespace qdx::update::fixtures {

const TrustedKeys& testKeys();

std::string signClassic(const std::string& md5Hex);
std::string signPss(const std::array<uint8_t, 32>& sha256);
// A number (big-endian bytes) in the maker's signature alphabet.
std::string encodeNumber(const std::string& bigEndian);

std::string gzip(const std::string& data);
std::string md5Hex(const std::string& data);
std::string sha256Hex(const std::string& data);

using Files = std::vector<std::pair<std::string, std::string>>;

// "name.info": the header line of `version`, a line per file, DSIG.
std::string infoFor(const std::string& base, uint32_t version, const Files& files);
// A tar archive of the files in order (end blocks included).
std::string tarOf(const Files& files);
// A signed .cvd of `files` with a signed member list added after COPYING.
std::string makeCvd(const std::string& base, uint32_t version, const Files& files);
// A signed .cdiff of `script` bringing the set to `version`.
std::string makePatch(uint32_t version, const std::string& script);

}  // namespace qdx::update::fixtures
