#include "app/HandOver.h"

namespace quendix {

namespace {

constexpr std::string_view kTag = "QSDN";

char folded(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows compares file names without regard to case; for the paths of two
// running programs the ASCII letters are what differs in practice.
bool samePath(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i]))
            return false;
    return true;
}

} // namespace

std::string handOverPipeName(std::uint32_t session, std::string_view randomHex)
{
    return std::string(kHandOverPipePrefix) + std::to_string(session) + "." + std::string(randomHex);
}

bool isHandOverPipeName(std::string_view name, std::uint32_t session)
{
    const std::string start = std::string(kHandOverPipePrefix) + std::to_string(session) + ".";
    if (name.size() != start.size() + 32 || name.substr(0, start.size()) != start)
        return false;
    for (char c : name.substr(start.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

bool mayHandOver(const HandOverPeer& peer, std::string_view ownImage)
{
    return peer.elevated && !ownImage.empty() && samePath(peer.image, ownImage);
}

std::string handOverMessage(std::string_view path)
{
    std::string message(kTag);
    message += path;
    return message;
}

std::optional<std::string> handedOverPath(std::string_view message)
{
    if (message.size() > kMaxHandOverBytes || message.substr(0, kTag.size()) != kTag)
        return std::nullopt;
    std::string path(message.substr(kTag.size()));
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

bool WaitingScans::push(std::string path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (paths_.size() >= limit_)
        return false;
    paths_.push_back(std::move(path));
    return true;
}

std::optional<std::string> WaitingScans::pop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (paths_.empty())
        return std::nullopt;
    std::string path = std::move(paths_.front());
    paths_.pop_front();
    return path;
}

bool WaitingScans::empty() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_.empty();
}

std::vector<std::uint32_t> messagesFromLowerIntegrity()
{
    constexpr std::uint32_t kDropFiles = 0x0233;        // WM_DROPFILES
    constexpr std::uint32_t kCopyGlobalData = 0x0049;   // WM_COPYGLOBALDATA: the drop's names
    return {kDropFiles, kCopyGlobalData};
}

} // namespace quendix
