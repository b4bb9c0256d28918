#include "settings.h"

#include <algorithm>
#include <cctype>

#include "decimal.h"

namespace qdx::update {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool validDatabase(std::string_view name) {
    return !name.empty() && name.size() <= 32 &&
           std::all_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

}  // namespace

Source parseSource(std::string_view text) {
    text = trim(text);
    Source s;
    const std::string start = lower(text.substr(0, 8));
    s.folder = start.rfind("http://", 0) != 0 && start.rfind("https://", 0) != 0;
    while (text.size() > 1 && (text.back() == '/' || (s.folder && text.back() == '\\'))) text.remove_suffix(1);
    s.location = std::string(text);
    return s;
}

Settings parseSettings(std::string_view text) {
    Settings s;
    bool databasesGiven = false;
    size_t number = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t nl = text.find('\n', at);
        std::string_view line = trim(text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at));
        at = nl == std::string_view::npos ? text.size() : nl + 1;
        ++number;
        if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') continue;
        const size_t eq = line.find('=');
        const auto problem = [&] { s.problems.push_back("line " + std::to_string(number) + ": " + std::string(line.substr(0, 80))); };
        if (eq == std::string_view::npos) {
            problem();
            continue;
        }
        const std::string key = lower(trim(line.substr(0, eq)));
        const std::string_view value = trim(line.substr(eq + 1));
        uint32_t n = 0;
        if (key == "mirror") {
            if (value.empty()) problem();
            else s.mirrors.push_back(parseSource(value));
        } else if (key == "databases") {
            std::vector<std::string> names;
            bool ok = true;
            for (size_t p = 0; p <= value.size();) {
                const size_t comma = value.find(',', p);
                const std::string_view name = trim(value.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p));
                if (!validDatabase(name)) ok = false;
                else if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
                if (comma == std::string_view::npos) break;
                p = comma + 1;
            }
            if (!ok || names.empty()) problem();
            else {
                s.databases = std::move(names);
                databasesGiven = true;
            }
        } else if (key == "patches") {
            const std::string v = lower(value);
            if (v == "yes" || v == "1" || v == "true") s.patches = true;
            else if (v == "no" || v == "0" || v == "false") s.patches = false;
            else problem();
        } else if (key == "dnsrecord") {
            s.dnsRecord = std::string(value);
        } else if (key == "maxfilemb") {
            if (parseDecimal(value, n) && n >= 1 && n <= 2048) s.maxFileBytes = uint64_t{n} << 20;
            else problem();
        } else if (key == "timeoutseconds") {
            if (parseDecimal(value, n) && n >= 5 && n <= 3600) s.timeoutSeconds = n;
            else problem();
        } else if (key == "retrywaitseconds") {
            if (parseDecimal(value, n) && n <= 600) s.retryWaitSeconds = n;
            else problem();
        } else if (key == "floorratekb") {
            if (parseDecimal(value, n) && n <= 100000) s.floorBytesPerSecond = uint64_t{n} * 1024;
            else problem();
        } else if (key == "runminutes") {
            if (parseDecimal(value, n) && n >= 1 && n <= 1440) s.runSeconds = n * 60;
            else problem();
        } else if (key == "useragent") {
            if (!value.empty() && value.size() < 200) s.userAgent = std::string(value);
            else problem();
        } else if (key == "testversionrecord") {
            s.testVersionRecord = std::string(value);
        }
    }
    (void)databasesGiven;
    return s;
}

void completeSettings(Settings& s) {
    if (s.mirrors.empty()) s.mirrors.push_back(parseSource(kDefaultMirror));
}

}  // namespace qdx::update
