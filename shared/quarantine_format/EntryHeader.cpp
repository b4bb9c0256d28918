#include "quarantine_format/EntryHeader.h"

#include <charconv>
#include <map>

namespace quendix::quarantine {

namespace {

std::uint64_t number(const std::string& key, std::string_view text)
{
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw DamagedEntry("its " + key + " is not a number");
    return value;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void parseDigest(std::string_view text, std::uint8_t (&digest)[kSha256Bytes])
{
    if (text.size() != 2 * kSha256Bytes)
        throw DamagedEntry("its check value is not 64 hex digits");
    for (std::size_t i = 0; i < kSha256Bytes; ++i) {
        int high = hexDigit(text[2 * i]), low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            throw DamagedEntry("its check value is not 64 hex digits");
        digest[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
}

Action parseAction(std::string_view text)
{
    if (text == "deleted")
        return Action::Deleted;
    if (text == "disinfected")
        return Action::Disinfected;
    if (text == "renamed")
        return Action::Renamed;
    throw DamagedEntry("its action is unknown");
}

// A file's place as the scanner reports it: "X:\..." or "\\server\share\...",
// nothing the system would read as a device or a raw object name.
bool isPlainFullPath(std::string_view path)
{
    if (path.find('\0') != std::string_view::npos || path.size() < 4)
        return false;
    const char drive = static_cast<char>(path[0] | 0x20);
    if (drive >= 'a' && drive <= 'z' && path[1] == ':' && path[2] == '\\')
        return path[3] != '\\';
    return path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.' && path[2] != '\\';
}

} // namespace

const char* actionName(Action action)
{
    switch (action) {
    case Action::Deleted: return "deleted";
    case Action::Disinfected: return "disinfected";
    case Action::Renamed: return "renamed";
    }
    return "";
}

EntryHeader parseEntryHeader(std::string_view bytes, std::uint64_t fileSize)
{
    if (bytes.size() > kMaxHeaderBytes)
        bytes = bytes.substr(0, kMaxHeaderBytes);
    std::map<std::string, std::string, std::less<>> values;
    std::size_t at = 0;
    bool first = true, ended = false;
    while (!ended) {
        std::size_t eol = bytes.find("\r\n", at);
        if (eol == std::string_view::npos)
            throw DamagedEntry("its header is cut short or too long");
        std::string_view line = bytes.substr(at, eol - at);
        at = eol + 2;
        if (line.find_first_of("\r\n") != std::string_view::npos)
            throw DamagedEntry("its header holds a stray line break");
        // The writer replaces every control character: one here was not written by us.
        for (char c : line)
            if (static_cast<unsigned char>(c) < 32 || c == 127)
                throw DamagedEntry("its header holds a control character");
        if (first) {
            if (line != kFirstLine)
                throw DamagedEntry("it is not a quarantine entry of this version");
            first = false;
            continue;
        }
        if (line.empty()) {
            ended = true;
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0)
            throw DamagedEntry("its header holds a line without a key");
        std::string key(line.substr(0, equals));
        if (!values.emplace(key, std::string(line.substr(equals + 1))).second)
            throw DamagedEntry("its header names " + key + " twice");
    }

    auto required = [&](const char* key) -> const std::string& {
        auto it = values.find(key);
        if (it == values.end())
            throw DamagedEntry(std::string("its header lacks ") + key);
        return it->second;
    };
    auto optionalNumber = [&](const char* key) -> std::optional<std::uint64_t> {
        auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        return number(key, it->second);
    };

    EntryHeader entry;
    entry.headerBytes = at;
    entry.path = required("path");
    if (!isPlainFullPath(entry.path))
        throw DamagedEntry("its original path is not a full path to a file");
    entry.size = number("size", required("size"));
    if (entry.size > kMaxOriginalBytes)
        throw DamagedEntry("its original size is over the quarantine's limit");
    parseDigest(required("sha256"), entry.sha256);
    entry.action = parseAction(required("action"));
    entry.quarantined = number("quarantined", required("quarantined"));
    entry.stored = number("stored", required("stored"));
    if (auto a = optionalNumber("attributes")) {
        if (*a > 0xFFFFFFFFu)
            throw DamagedEntry("its attributes are out of range");
        entry.attributes = static_cast<std::uint32_t>(*a);
    }
    entry.created = optionalNumber("created");
    entry.accessed = optionalNumber("accessed");
    entry.written = optionalNumber("written");
    if (auto it = values.find("security"); it != values.end())
        entry.security = it->second;
    if (auto it = values.find("virus"); it != values.end())
        entry.virus = it->second;
    if (auto it = values.find("renamed-to"); it != values.end())
        entry.renamedTo = it->second;

    if (fileSize < entry.headerBytes || fileSize - entry.headerBytes != entry.stored)
        throw DamagedEntry("its stored bytes are not all there");
    return entry;
}

bool isEntryFileName(std::string_view name)
{
    constexpr std::string_view kSuffix = ".qdq";
    if (name.size() != 14 + 1 + 8 + kSuffix.size() || name.substr(23) != kSuffix || name[14] != '-')
        return false;
    for (std::size_t i = 0; i < 14; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    for (std::size_t i = 15; i < 23; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'A' && name[i] <= 'F')))
            return false;
    return true;
}

std::string sha256Hex(const std::uint8_t (&digest)[kSha256Bytes])
{
    static const char* const kHex = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

std::string formatEntryHeader(const EntryHeader& e)
{
    std::string text = std::string(kFirstLine) + "\r\n";
    auto line = [&](const char* key, std::string value) {
        for (char& c : value)
            if (static_cast<unsigned char>(c) < 32 || c == 127)
                c = '?';
        text += std::string(key) + "=" + value + "\r\n";
    };
    line("path", e.path);
    line("size", std::to_string(e.size));
    line("sha256", sha256Hex(e.sha256));
    if (e.attributes)
        line("attributes", std::to_string(*e.attributes));
    if (e.created)
        line("created", std::to_string(*e.created));
    if (e.accessed)
        line("accessed", std::to_string(*e.accessed));
    if (e.written)
        line("written", std::to_string(*e.written));
    line("security", e.security);
    line("virus", e.virus);
    line("action", actionName(e.action));
    if (e.action == Action::Renamed || !e.renamedTo.empty())
        line("renamed-to", e.renamedTo);
    line("quarantined", std::to_string(e.quarantined));
    line("stored", std::to_string(e.stored));
    return text + "\r\n";
}

} // namespace quendix::quarantine
