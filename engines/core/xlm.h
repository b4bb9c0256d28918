// Excel 4.0 (XLM) macro sheets of a workbook's BIFF records (the
// `Workbook` or `Book` stream of an OLE2 file), as clamscan
// shows them to its signatures: a text listing of every record, one line
// each (opcode, length, the record's name, and for formulas, names, sheets
// and strings what they hold, formulas decoded from their tokens), and the
// images of the drawing group.
//
// The listing keeps clamscan's quirks byte for byte (bytes read as
// signed, a formula read one byte past its record, a stale record buffer),
// as signatures are written against its text. It is produced as a stream,
// a record at a time: at most kMaxXlmTextPerByte bytes of text for each
// byte of the stream, plus its header line. Most records give far less (a
// number token of 9 bytes up to 325 characters); the bound is set by a
// NAME record of 20 bytes whose negative length shows the record buffer up
// to a zero byte, at most kMaxBiffRecord bytes of what longer records left.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stream.h"

namespace qdx {

// The longest record clamscan reads; a longer one ends the walk.
inline constexpr size_t kMaxBiffRecord = 8228;
// The drawing group is collected whole to find its images; larger ones
// keep their images unscanned.
inline constexpr size_t kMaxXlmDrawingGroup = size_t{32} << 20;
inline constexpr size_t kMaxXlmImages = 4096;
inline constexpr size_t kMaxXlmTextPerByte = 512;

// What one pass over a workbook stream finds.
struct BiffSurvey {
    bool macroSheet = false;    // a BOUNDSHEET of an Excel 4.0 macro sheet
    bool drawingGroup = false;  // a drawing group record with data in it
    // Its records end where the stream does: only then is the listing
    // scanned (and its images), as clamscan drops both otherwise.
    bool whole = false;
    bool drawingCut = false;  // the drawing group exceeds the room given
    std::string drawing;      // the drawing group's bytes, records joined
};
// `drawingRoom`: the most of the drawing group held (drawingCut past it).
BiffSurvey surveyBiff(InputStream& records, size_t drawingRoom = kMaxXlmDrawingGroup);

// Where the images of a drawing group lie in it, in order; empty ones and
// those past kMaxXlmImages are left out.
struct DrawingImage {
    size_t offset = 0;
    size_t size = 0;
};
std::vector<DrawingImage> drawingImages(std::string_view drawing);

// The listing of a workbook stream's records, as clamscan scans it: its
// header line and then only the text its stdio buffer (4096 bytes) had
// written to the file when the walk ended; the rest reaches the file after
// the scan. `everything`: all of the text (for tests and the fuzzer).
class XlmListing final : public InputStream {
public:
    explicit XlmListing(InputStream& records, bool everything = false);
    size_t read(void* buffer, size_t size) override;
    // The records ended early (a record too long or cut short).
    bool damaged() const { return damaged_; }

private:
    bool nextRecord();
    void put(std::string_view piece);
    void put(char c) { put(std::string_view(&c, 1)); }
    void formula(uint32_t length);
    void tokens(size_t base, size_t size);
    void name(uint32_t length);
    void sheet(uint32_t length);
    void string(uint32_t length);
    int sb(size_t at) const;  // a byte of the record as a signed char
    uint32_t u16(size_t at) const;

    InputStream& in_;
    std::vector<uint8_t> record_;  // kept between records, as clamscan reuses its buffer
    bool everything_;
    std::string pending_;  // text made and not yet given
    size_t ready_ = 0;     // how much of it clamscan's stream has written out
    size_t given_ = 0;
    size_t buffered_ = 0;  // what its stream's buffer holds
    size_t headerGiven_ = 0;
    bool ended_ = false, damaged_ = false;
};

// The record, function and token names of the listing (xlm_names.cpp):
// null where clamscan has none.
const char* biffRecordName(uint32_t opcode);
const char* xlmFunctionName(uint32_t index);
const char* formulaTokenName(uint32_t token);

}  // namespace qdx
