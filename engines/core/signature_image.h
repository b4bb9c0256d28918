// The compiled signature image: everything a loaded store matches with
// (automaton, parts and their code, logical signatures, hash tables, names,
// allow and ignore lists already applied), the load report and the info
// program's figures, in one file that a later scan maps read-only and uses
// as it lies, without parsing the databases or allocating per signature.
//
// The image names what it was built from (the engine version, our own
// definitions, every database file's name, size and time); its header and
// every section carry a check value. Anything that does not match, or does
// not hold together, is refused, and the databases are loaded as usual.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "categories.h"
#include "database.h"
#include "own_definitions.h"
#include "signature_store.h"

namespace qdx {

// Raised with every change to what the store holds or how the databases
// are compiled into it: images of other versions are refused.
inline constexpr std::string_view kImageEngineVersion = "2.5.0 image 6";
inline constexpr const char* kImageName = "quendix.img";

// One database file as the folder lists it.
struct DatabaseFileStamp {
    std::string name;
    uint64_t size = 0, time = 0;
};

// What an image must have been built from: the engine version, our own
// definitions (null: none) and the database files.
std::string imageStamp(const std::vector<DatabaseFileStamp>& files, const Definitions* defs,
                       std::string_view engineVersion = kImageEngineVersion);

// Besides the store: the load report for the results file, and the info
// program's figures (its lines 2 to 10).
struct ImageSummary {
    LoadReport report;
    std::array<std::string, 9> figures;
};

class ImageOutput {
public:
    virtual ~ImageOutput() = default;
    // Appends; throws when the bytes cannot be written.
    virtual void write(const void* data, size_t size) = 0;
    // Writes over bytes written before.
    virtual void writeAt(uint64_t offset, const void* data, size_t size) = 0;
};

class StringOutput final : public ImageOutput {
public:
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
    void writeAt(uint64_t offset, const void* data, size_t size) override {
        bytes.replace(static_cast<size_t>(offset), size, static_cast<const char*>(data), size);
    }
    std::string bytes;
};

// Writes the image of a finished store.
void writeSignatureImage(const SignatureStore& store, const ImageSummary& summary, std::string_view stamp,
                         ImageOutput& out);

// Makes `store` match with the image in `bytes` (at least 16-byte aligned,
// kept alive by `keep` as long as the store) when it was built from
// `stamp` and `defs`, is whole and holds together; otherwise false, with
// the reason in `why`, and the store untouched.
bool readSignatureImage(std::span<const uint8_t> bytes, std::shared_ptr<const void> keep, std::string_view stamp,
                        const Definitions* defs, SignatureStore& store, ImageSummary& summary, std::string& why);

// Only the summary, for those that count without matching: checks the
// header, the stamp and the summary, not the rest.
bool readImageSummary(std::span<const uint8_t> bytes, std::string_view stamp, ImageSummary& summary, std::string& why);

// For the fuzz target: recomputes the check values of an image whose header
// holds together, so that changed bytes reach the checks of its structure;
// gives its stamp.
bool resealImage(std::span<uint8_t> bytes, std::string& stamp);

// Loads into a store and counts by category at once, for an image's summary.
class ImageBuilder final : public DatabaseSink {
public:
    ImageBuilder(SignatureStore& store, const Definitions* defs);
    ~ImageBuilder() override;

    void addHash(const HashRecord& record) override;
    void addBody(const BodyRecord& record) override;
    void addLogical(const LogicalRecord& record) override;
    void expect(std::string_view fileName, uint64_t bytes) override;
    void dropName(std::string_view name) override;
    size_t mark() override;
    void rollback(size_t mark) override;

    // Finishes the store (counting what ignore lists dropped into `report`)
    // and gives the summary.
    ImageSummary finish(const LoadReport& report);

private:
    SignatureStore& store_;
    std::unique_ptr<CategoryCounter> counter_;
    std::vector<std::pair<size_t, size_t>> marks_;
};

}  // namespace qdx
