// A reference matcher for body signatures, written for obviousness instead
// of speed: it reads the hex form itself and moves a set of positions
// through the signature one element at a time over a whole buffer. The
// engine's automaton and chains must agree with it.
#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

namespace qdxtest {

struct NaiveElement {
    // Bound: a byte bound by [x-y] to the bytes after it (aa[x-y]HEXSIG) or
    // before it (HEXSIG[x-y]aa); it is looked for around the position
    // reached and moves nothing.
    enum Kind { Byte, Gap, Alternatives, Bound } kind = Byte;
    unsigned char value = 0, mask = 0;  // Byte and Bound
    size_t min = 0, max = 0;            // Gap and Bound; max SIZE_MAX for none
    bool negated = false;               // Alternatives
    bool bracket = false;               // Gap of [x-y], until it binds its byte
    bool ahead = false;                 // Bound: the byte lies after the position
    std::vector<std::vector<NaiveElement>> choices;  // Alternatives: sequences of bytes
};

struct NaiveSignature {
    std::vector<NaiveElement> elements;
    bool variableAlternatives = false;  // choices of different lengths
};

bool naiveParse(std::string_view hex, NaiveSignature& out);

// End offsets of all matches that begin at one of `starts` (offsets into
// `data`, each at most data.size()).
std::vector<size_t> naiveEnds(const NaiveSignature& sig, std::string_view data, const std::vector<size_t>& starts);

}  // namespace qdxtest
