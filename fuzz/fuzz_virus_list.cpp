// The virus list fill against a model of the file's layout: both lists' rows,
// in order, never more than the file has lines plus the fixed head rows.
#include "LineModel.h"
#include "info/VirusListFill.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using fuzzmodel::check;

namespace {

struct Lists : quendix::info::VirusListSink {
    std::vector<std::string> left, right;
    void addLeft(const std::string& row) override
    {
        check(right.empty());   // the left list is complete before the right one starts
        left.push_back(row);
    }
    void addRight(const std::string& row) override { right.push_back(row); }
};

constexpr std::size_t kHeadRows = 5;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::vector<std::string> all = fuzzmodel::lines(text);
    const std::string summary = quendix::info::kVirusListSummary;
    const std::string line6 = fuzzmodel::line(all, 6);

    std::vector<std::string> left{quendix::info::kLeftListTitle, "", quendix::kProductLine, line6, ""};
    std::vector<std::string> right{quendix::info::kRightListTitle, "", quendix::kProductLine, line6, ""};
    std::size_t n = 9;
    bool found = false;
    for (; n <= all.size(); ++n) {
        if (all[n - 1] == summary) {
            found = true;
            break;
        }
        if (!all[n - 1].empty())
            left.push_back(all[n - 1]);
    }
    if (found)
        for (++n; !fuzzmodel::line(all, n).empty(); ++n)
            right.push_back(all[n - 1]);

    quendix::MemoryByteSource source(text);
    quendix::LineReader reader(source, 1 + data[0] % 11);
    Lists lists;
    bool summaryFound = quendix::info::fillVirusList(reader, lists);

    check(summaryFound == found);
    check(lists.left == left);
    check(lists.right == right);
    check(lists.left.size() + lists.right.size() <= all.size() + 2 * kHeadRows);
    for (std::size_t i = kHeadRows; i < lists.left.size(); ++i)
        check(!lists.left[i].empty() && lists.left[i] != summary);
    for (std::size_t i = kHeadRows; i < lists.right.size(); ++i)
        check(!lists.right[i].empty());
    return 0;
}
