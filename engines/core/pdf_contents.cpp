#include "pdf_contents.h"

#include <algorithm>
#include <cstddef>

namespace qdx::pdf {
namespace {

// clamscan reads the stream and writes the text in blocks of this size: a
// line is looked at anew at the start of each block read, and a byte that
// meets a full block written is lost.
constexpr size_t kBlock = 8192;

}  // namespace

std::string contentsText(std::string_view stream) {
    enum class State { Line, Array, String } state = State::Line;
    std::string out, block;
    bool spaced = false;
    for (size_t at = 0; at < stream.size(); at += kBlock) {
        const std::string_view chunk = stream.substr(at, kBlock);
        for (size_t i = 0; i < chunk.size(); ++i) {
            const auto c = static_cast<unsigned char>(chunk[i]);
            if (state == State::Line) {
                // Only an array at the start of a line begins text.
                if (c == '[') {
                    state = State::Array;
                    continue;
                }
                const size_t end = chunk.find('\n', i);
                if (end == std::string_view::npos) break;
                i = end;
            } else if (state == State::Array) {
                if (c == '(') state = State::String;
            } else if (c == ')') {
                state = State::Array;
            } else if (block.size() == kBlock) {
                out += block;
                block.clear();
                spaced = false;
            } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
                if (!spaced) block += ' ';
                spaced = true;
            } else if (c > 0x20 && c < 0x80) {
                block += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
                spaced = false;
            }
        }
    }
    return out + block;
}

}  // namespace qdx::pdf
