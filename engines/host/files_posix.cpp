// Reading whole files on the host, for the definitions.
#include <fstream>
#include <iterator>

#include "text.h"

namespace qdx {

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace qdx
