// The figures of the info file: signatures counted by the kind of virus
// they find. Our own definitions carry their category; the databases' names
// tell it by their first part, the platform ("Win.Trojan.Agent-123-0",
// "Doc.Downloader...", "Js.Malware..."), or by the second, the kind of
// program ("...Ransomware...").
//
// The counter is a database sink: the info program loads the databases into
// it with the scanner's own loader, so that it counts what the scanner
// loads, without building anything the scanner needs for matching.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database.h"
#include "own_definitions.h"

namespace qdx {

// The categories in the order of the info file's lines 4 to 10.
enum class Category : uint8_t { DosWindows, Macro, Java, Batch, Script, Destructive, Other };
inline constexpr size_t kCategories = 7;

Category categoryOfName(std::string_view signatureName);
// "Win.Trojan.Agent-123-0" and "Win.Trojan.Agent-124-1" are one virus, as
// are our own "Tail.A" and "Tail.B".
std::string_view virusOfName(std::string_view signatureName);

class CategoryCounter final : public DatabaseSink {
public:
    void addOwn(const Definitions& defs);

    void addHash(const HashRecord& record) override;
    void addBody(const BodyRecord& record) override;
    void addLogical(const LogicalRecord& record) override;
    bool wantsPatterns() const override { return false; }
    void expect(std::string_view fileName, uint64_t bytes) override;
    void dropName(std::string_view name) override;
    size_t mark() override { return entries_.size(); }
    void rollback(size_t mark) override { entries_.resize(mark); }

    // Date, variants, different viruses, then the seven categories.
    std::array<std::string, 10> lines(const std::string& created) const;

private:
    struct Entry {
        uint64_t name, virus;
        Category category;
    };
    void add(std::string_view name, Category category);

    std::vector<Entry> entries_;
    std::vector<uint64_t> dropped_;
};

}  // namespace qdx
