#pragma once
// The rules of the hand-over between a second start and the running front
// end, apart from the channel that carries it: who may hand over, what a
// message holds, how many scans may wait, and which window messages the main
// window takes from programs of lower integrity. The program runs elevated
// and changes files anywhere, so none of this may be steered from outside.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quendix {

// Paths waiting for their scans; a hand-over beyond that is refused.
inline constexpr std::size_t kMaxWaitingScans = 8;
// Longest hand-over message: the tag and a path far beyond any Windows path.
inline constexpr std::size_t kMaxHandOverBytes = 4 + 32768;

// What the channel learnt of the program at its other end.
struct HandOverPeer {
    bool elevated = false;          // runs with an administrator's full rights
    std::string image;              // the full path of its program file
};

// Only our own program, elevated like us, may hand a path over or take one:
// any other program could otherwise start scans that change files, or
// collect the paths the user asked to scan.
bool mayHandOver(const HandOverPeer& peer, std::string_view ownImage);

// The hand-over pipe's name: the session, then 32 random hex digits, so that
// no other program can make it first (a pipe's name is anyone's to take).
// The running front end records it where only administrators may write.
inline constexpr std::string_view kHandOverPipePrefix = "\\\\.\\pipe\\Quendix.Professional.FrontEnd.";
std::string handOverPipeName(std::uint32_t session, std::string_view randomHex);
// Whether a recorded name is one handOverPipeName makes for `session`: a
// record that names anything else (another machine's pipe, a file) is refused.
bool isHandOverPipeName(std::string_view name, std::uint32_t session);

// A message: a tag, then the path's bytes (none: no path, just come forward).
std::string handOverMessage(std::string_view path);
// The path a message carries, or none when it is not a hand-over message.
std::optional<std::string> handedOverPath(std::string_view message);

// Answers of the running front end, one byte.
inline constexpr char kHandOverTaken = 'T';
inline constexpr char kHandOverFull = 'F';
inline constexpr char kHandOverRefused = 'R';

// Paths waiting for their scans, filled by the hand-over channel's thread and
// the command line, taken by the main window; bounded.
class WaitingScans {
public:
    explicit WaitingScans(std::size_t limit = kMaxWaitingScans) : limit_(limit) {}
    // False when the queue is full; the path is then not kept.
    bool push(std::string path);
    std::optional<std::string> pop();
    bool empty() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::string> paths_;
    std::size_t limit_;
};

// The only window messages a less privileged program may send the main
// window: those of a drop from Explorer (WM_DROPFILES, WM_COPYGLOBALDATA).
std::vector<std::uint32_t> messagesFromLowerIntegrity();

} // namespace quendix
