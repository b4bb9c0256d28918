// Our own signature file "quendix3.dat" that the build generates: what it
// holds and how its lines read (reading the file itself is the programs' job).
#pragma once
#include <array>
#include <string>
#include <vector>

namespace qdx {

struct Signature {
    std::string name;
    std::string category;  // dos, macro, java, bat, script, destructive, other
    bool removable = false;  // the bytes are the whole virus body
    bool atStart = false;    // only at offset 0 (the test file)
    std::string bytes;
};

// Heuristics: bytes that every variant of a family begins with.
struct Family {
    std::string name;
    std::string bytes;
};

struct Definitions {
    std::string created;
    std::vector<Signature> signatures;
    std::vector<Family> families;
    size_t longest() const;
};

bool parseDefinitions(const std::vector<std::string>& lines, Definitions& out, std::string& error);

// "Tail.A" and "Tail.B" are variants of one virus: a last part of a single
// letter or digit names the variant.
std::string virusOf(const std::string& signatureName);

// The ten lines of the info file: date, variants, different viruses, then
// the viruses of each category in the order the front end shows them.
std::array<std::string, 10> infoLines(const Definitions& defs);

}  // namespace qdx
