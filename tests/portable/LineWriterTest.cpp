#include "engine/IoError.h"
#include "engine/LineWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using quendix::ByteSink;
using quendix::IoError;
using quendix::LineWriter;

namespace {

// Takes at most `chunk` bytes a call, like a disk that fills up: once it
// holds `failAt` bytes it refuses the next write, and afterwards takes again
// when the failure is `transient`, or never when not.
struct FillingSink final : ByteSink {
    std::size_t chunk;
    std::size_t failAt;
    bool transient;
    bool failed = false;
    std::string taken;

    FillingSink(std::size_t chunk, std::size_t failAt, bool transient)
        : chunk(chunk), failAt(failAt), transient(transient)
    {
    }
    std::size_t write(const char* bytes, std::size_t size) override
    {
        bool refuses = failed ? !transient : taken.size() >= failAt;
        if (refuses) {
            failed = true;
            throw IoError(112);
        }
        std::size_t room = failed ? size : failAt - taken.size();
        std::size_t n = std::min({size, chunk, room});
        taken.append(bytes, n);
        return n;
    }
};

const char* const kLines[] = {"Quendix Professional Version 2.5", "", "Search  Disk drive C:\\", "File deleted A",
                              "File deleted B", "No viruses or suspicious boot sectors were found."};

std::string allText()
{
    std::string text;
    for (const char* line : kLines)
        text += std::string(line) + "\r\n";
    return text;
}

// Writes every line and closes as a scan run does; a failure ends the run,
// and what is gathered is then written as the report file's destructor does.
void writeReport(FillingSink& sink)
{
    LineWriter out(sink, 16);   // a small buffer: several writes, each in pieces
    try {
        for (const char* line : kLines)
            out.writeLine(line);
        out.flush();
    } catch (const IoError&) {
        out.flushBestEffort();
        out.flushBestEffort();
    }
}

} // namespace

TEST(LineWriter, LinesEndWithCrLfAndArriveWholeThroughShortWrites)
{
    FillingSink sink(5, std::string::npos, false);
    writeReport(sink);
    EXPECT_EQ(sink.taken, allText());
    EXPECT_FALSE(sink.failed);
}

TEST(LineWriter, AWriteThatFailsPartWayNeverRepeatsWhatTheSinkTook)
{
    const std::string all = allText();
    for (bool transient : {false, true}) {
        for (std::size_t failAt : {std::size_t{0}, std::size_t{3}, std::size_t{16}, std::size_t{23}, all.size() - 1}) {
            SCOPED_TRACE(testing::Message() << "fails at " << failAt << (transient ? ", once" : ", for good"));
            FillingSink sink(5, failAt, transient);
            writeReport(sink);
            EXPECT_TRUE(sink.failed);
            // Each byte at most once and in order; after a passing failure
            // what was gathered before it is all there.
            EXPECT_EQ(sink.taken, all.substr(0, sink.taken.size()));
            if (transient)
                EXPECT_GT(sink.taken.size(), failAt);
            else
                EXPECT_EQ(sink.taken.size(), failAt);
        }
    }
}
