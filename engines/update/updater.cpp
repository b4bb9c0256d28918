#include "updater.h"

#include <windows.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <vector>

#include "after_update.h"
#include "cld_writer.h"
#include "container_check.h"
#include "detached_signature.h"
#include "dns_lookup.h"
#include "mirror.h"
#include "part_file.h"
#include "patch.h"
#include "lock_holder.h"
#include "printable.h"
#include "published_versions.h"
#include "run_lock.h"
#include "update_decisions.h"
#include "update_log.h"
#include "win_file.h"
#include "winpath.h"

namespace qdx::update {
namespace {

constexpr uint32_t kMostPatches = 100;

uint64_t now() { return static_cast<uint64_t>(std::time(nullptr)); }

std::string versionText(uint32_t v) { return v ? std::to_string(v) : std::string("(none)"); }

std::string readSmallFile(const std::string& path, bool& found) {
    found = false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string text(64 * 1024, '\0');
    DWORD got = 0;
    found = ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &got, nullptr) != 0;
    CloseHandle(h);
    text.resize(got);
    return text;
}

void writeSmallFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    const bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(h);
    if (!ok || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) DeleteFileA(temp.c_str());
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The version in an installed file's header; 0 when missing or no container.
uint32_t installedVersion(const std::string& path) {
    bool found = false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    char block[512];
    DWORD got = 0;
    found = ReadFile(h, block, sizeof block, &got, nullptr) && got == sizeof block;
    CloseHandle(h);
    return found ? headerVersion(std::string_view(block, sizeof block)) : 0;
}

ContainerKind kindOf(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".cld") == 0 ? ContainerKind::Cld : ContainerKind::Cvd;
}

// The digest of what a part file holds, read back from the disk.
ContentDigester digesterOf(PartFile& part) {
    return [&part](DigestKind kind) {
        WinFile file(part.handle(), part.size());
        auto digest = newDigest(kind);
        std::vector<char> block(1 << 20);
        for (uint64_t at = 0; at < file.size();) {
            const size_t got = file.readAt(at, block.data(), static_cast<size_t>(std::min<uint64_t>(block.size(), file.size() - at)));
            if (!got) throw std::runtime_error("the download cannot be read back");
            digest->update(block.data(), got);
            at += got;
        }
        return digest->finish();
    };
}

// Stops using a mirror for the rest of the run.
struct MirrorBlocked {
    std::string text;
    bool coolDown = false;  // the mirror named a time to come back
};

class Run {
public:
    Run(const RunOptions& options, const std::string& programDir, const TrustedKeys& keys, RunReporter& reporter,
        const std::atomic<bool>& stop)
        : options_(options), programDir_(programDir), folder_(programDir + "\\signatures"), keys_(keys),
          reporter_(reporter), stop_(stop), log_(programDir + "\\update.log") {}

    int run() {
        if (!CreateDirectoryA(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            say("Error: the folder " + folder_ + " cannot be created: " + systemMessage(GetLastError()));
            return finish(kBadUsage);
        }
        RunLock lock;
        std::string holder;
        try {
            if (!lock.take(folder_ + "\\update.lock", lockHolderText(GetCurrentProcessId(), options_.quiet, now()), holder)) {
                say("Another update of the virus definitions is running (" + holder + "); this one does nothing.");
                return finish(kNotChecked);
            }
        } catch (const std::exception& e) {
            say("Error: " + std::string(e.what()));
            return finish(kBadUsage);
        }
        return runAlone();
    }

private:
    int runAlone() {
        say("Update started (" + std::string(options_.quiet ? "scheduled" : "by the user") + (options_.force ? ", forced" : "") + ")");
        bool found = false;
        const std::string ini = readSmallFile(programDir_ + "\\update.ini", found);
        settings_ = parseSettings(ini);
        for (const auto& p : settings_.problems) say("update.ini " + p + ": not understood, ignored");
        if (options_.mirror) settings_.mirrors = {*options_.mirror};
        completeSettings(settings_);
        runDeadline_ = tickMs() + uint64_t{settings_.runSeconds} * 1000;
        removeLeftoverParts(folder_);
        for (const auto& db : settings_.databases) {
            tidyDuplicates(db);
            // As they are, until a mirror changes them (a mirror that is not
            // used may never get to a database).
            const uint32_t version = installedVersion(installedPath(db));
            note(before_, db, version);
            note(after_, db, version);
        }

        std::vector<std::string> pending = settings_.databases;
        for (const auto& source : settings_.mirrors) {
            if (pending.empty() || stop_ || outOfTime()) break;
            pending = fromMirror(source, pending);
        }

        for (const auto& p : afterUpdate(folder_, changed_)) say("Warning: " + p);
        // What is installed at the end decides: a mirror that failed before
        // another brought a database up to date leaves nothing behind.
        const int code = runResult(refused_, notChecked_, pending.size());
        summarise(code, pending);
        return finish(code);
    }

    // Text from a mirror may hold anything: no control character reaches
    // the log or the window, so no line can be forged.
    void say(const std::string& text) {
        const std::string line = printableText(text);
        log_.append(line);
        reporter_.line(line);
    }

    bool outOfTime() const { return tickMs() > runDeadline_; }

    // The limits of one transfer: the user's Stop, the run's deadline, and
    // a floor rate from which each transfer's own deadline follows.
    Transfer transfer() {
        Transfer t;
        t.stop = &stop_;
        t.runDeadline = runDeadline_;
        t.floorBytesPerSecond = settings_.floorBytesPerSecond;
        t.graceSeconds = settings_.timeoutSeconds;
        return t;
    }

    int finish(int code) {
        say("Update ended with exit code " + std::to_string(code));
        return code;
    }

    void worsen(int code) {
        if (code == kRefused) refused_ = true;
        if (code == kNotChecked) notChecked_ = true;
        // A failure shows in the databases left pending at the end.
    }

    // Both forms of one database: the newer stays.
    void tidyDuplicates(const std::string& db) {
        const std::string cvd = folder_ + "\\" + db + ".cvd", cld = folder_ + "\\" + db + ".cld";
        if (!exists(cvd) || !exists(cld)) return;
        const bool keepCld = installedVersion(cld) >= installedVersion(cvd);
        DeleteFileA((keepCld ? cvd : cld).c_str());
    }

    std::string installedPath(const std::string& db) const {
        const std::string cld = folder_ + "\\" + db + ".cld";
        return exists(cld) ? cld : folder_ + "\\" + db + ".cvd";
    }

    // The databases this mirror could not bring up to date.
    std::vector<std::string> fromMirror(const Source& source, const std::vector<std::string>& databases) {
        const bool web = !source.folder;
        const std::string statePath = programDir_ + "\\update.dat";
        bool found = false;
        MirrorState state = parseMirrorState(readSmallFile(statePath, found));
        if (web) {
            // The hourly limit is for a run; a second mirror of the same run
            // is only a fall-back. A wait a mirror asked for holds for all.
            const bool userAsked = !options_.quiet || options_.force || askedMirror_;
            askedMirror_ = true;
            switch (mayCheck(state, now(), userAsked)) {
                case CheckVerdict::CoolingDown:
                    say("The mirrors asked us to wait; the next check is possible in " + std::to_string((state.waitUntil - now()) / 60 + 1) +
                        " minutes. Nothing was checked.");
                    worsen(kNotChecked);
                    return {};
                case CheckVerdict::TooSoon:
                    say("The databases were checked less than an hour ago; run with /force to check now. Nothing was checked.");
                    worsen(kNotChecked);
                    return {};
                case CheckVerdict::Go: break;
            }
            state.lastCheck = now();
            writeSmallFile(statePath, formatMirrorState(state));
        }
        std::unique_ptr<Mirror> mirror;
        try {
            mirror = openMirror(source, settings_);
        } catch (const FetchError& e) {
            say("Error: " + std::string(e.what()));
            return databases;
        }
        say("Source: " + mirror->describe());

        PublishedVersions published;
        const bool official = web && source.location == kDefaultMirror;
        const bool faked = options_.testBuild && !settings_.testVersionRecord.empty();
        bool useRecord = false;
        if (web && (official || faked) && !settings_.dnsRecord.empty()) {
            const std::string text = faked ? settings_.testVersionRecord : lookUpText(settings_.dnsRecord);
            if (!parseVersionRecord(text, published))
                say("The version record " + settings_.dnsRecord + " gives no answer; asking the mirror instead");
            else if (!recordIsCurrent(published, now()))
                say("The version record is older than three hours; asking the mirror instead");
            else
                useRecord = true;
        }

        std::vector<std::string> left;
        for (size_t i = 0; i < databases.size(); ++i) {
            if (stop_ || outOfTime()) {
                say(stop_ ? std::string("Stopped by the user.")
                          : "The time for one run (" + std::to_string(settings_.runSeconds / 60) + " minutes) is up; the rest waits for the next run.");
                left.insert(left.end(), databases.begin() + static_cast<long>(i), databases.end());
                break;
            }
            try {
                if (!updateOne(*mirror, databases[i], useRecord ? publishedVersion(published, databases[i]) : 0, !web || !official))
                    left.push_back(databases[i]);
            } catch (const MirrorBlocked& b) {
                say(b.text);
                if (b.coolDown) {
                    MirrorState s = parseMirrorState(readSmallFile(statePath, found));
                    s.waitUntil = now() + waitAsked_;
                    writeSmallFile(statePath, formatMirrorState(s));
                }
                left.insert(left.end(), databases.begin() + static_cast<long>(i), databases.end());
                break;
            }
        }
        return left;
    }

    // False when this mirror could not help (another may).
    bool updateOne(Mirror& mirror, const std::string& db, uint32_t recorded, bool privateMirror) {
        const std::string installed = installedPath(db);
        const uint32_t local = installedVersion(installed);
        note(before_, db, local);
        // A private mirror or a folder may keep the patched form; when its
        // header answers but the file is then missing, the full form follows.
        std::vector<std::string> forms;
        if (privateMirror && !recorded) forms.push_back(db + ".cld");
        forms.push_back(db + ".cvd");
        bool patchesTried = false;
        for (size_t form = 0; form < forms.size(); ++form) {
            const std::string& remoteName = forms[form];
            const bool lastForm = form + 1 == forms.size();
            uint32_t remote = recorded;
            try {
                if (!remote) {
                    remote = headerVersion(mirror.head(remoteName, transfer()));
                    if (!remote) {
                        say("Refused: " + remoteName + " on " + mirror.describe() + " has no valid header");
                        worsen(kRefused);
                        note(after_, db, local);
                        return false;
                    }
                }
            } catch (const FetchError& e) {
                if (e.failure == Failure::NotFound && !lastForm) continue;
                return fetchFailed(e, db, local);
            }

            // The installed file counts only as what it proves to be: one that
            // is damaged or another database's (a set swapped by a mirror
            // before this was checked) is replaced, whatever its header says.
            InstalledDatabase have{local, true};
            if (local && (remote <= local || options_.force)) {
                std::string damage;
                have.sound = verifiedInstalled(installed, db, damage);
                if (!have.sound) say("The installed " + installed + " does not count (" + damage + "); fetching " + db + " again");
            }
            const Plan plan = planFor(remote, have, options_.force);
            if (plan == Plan::RefuseOlder) {
                say("Refused: " + mirror.describe() + " offers " + db + " version " + std::to_string(remote) + ", older than the installed " +
                    std::to_string(local) + "; the installed one stays");
                worsen(kRefused);
                note(after_, db, local);
                return true;
            }
            if (plan == Plan::Current) {
                say(db + " is current (version " + std::to_string(local) + ")");
                note(after_, db, local);
                return true;
            }
            const uint32_t counted = countedVersion(have);
            const bool repair = plan == Plan::Refetch;
            say(db + ": version " + std::to_string(remote) + " is available" + (counted ? " (installed: " + std::to_string(counted) + ")" : ""));
            try {
                if (settings_.patches && !patchesTried && mayPatch(remote, have, options_.force, kMostPatches)) {
                    patchesTried = true;
                    if (patch(mirror, db, installed, counted, remote)) return true;
                }
                full(mirror, db, remoteName, counted, remote, repair);
                return true;
            } catch (const FetchError& e) {
                if (e.failure == Failure::NotFound && !lastForm) {
                    say(remoteName + " is not on " + mirror.describe() + " after all; trying " + forms[form + 1]);
                    continue;
                }
                return fetchFailed(e, db, local);
            }
        }
        return false;
    }

    bool fetchFailed(const FetchError& e, const std::string& db, uint32_t local) {
        if (e.failure == Failure::TooMany || e.failure == Failure::Forbidden || e.failure == Failure::Untrusted ||
            e.failure == Failure::TooSlow) {
            waitAsked_ = e.failure == Failure::TooMany ? e.retryAfter : 0;
            note(after_, db, local);
            throw MirrorBlocked{"Error: " + std::string(e.what()) + ". This mirror is not used again in this run; the installed databases stay as they are.",
                                e.failure == Failure::TooMany};
        }
        if (stop_) {
            say("Stopped by the user; " + db + " stays as it is");
        } else {
            say(std::string(e.failure == Failure::Refused ? "Refused: " : "Error: ") + e.what() + "; " + db + " stays as it is");
            if (e.failure == Failure::Refused) worsen(kRefused);
        }
        note(after_, db, local);
        return false;
    }

    // Fetches `name` into `part` with the retry rules; at most `limit` bytes
    // (0: the size limit of update.ini).
    void download(Mirror& mirror, const std::string& name, PartFile& part, uint64_t limit = 0) {
        say("Downloading " + name);
        Transfer t = transfer();
        uint64_t fileSize = 0;
        t.size = [&](uint64_t size) { fileSize = size; };
        t.progress = [&](uint64_t n) {
            bytes_ += n;
            reporter_.transferred(bytes_, part.size(), fileSize);
        };
        for (int attempt = 1;; ++attempt) {
            try {
                mirror.fetch(name, part.handle(), limit ? limit : settings_.maxFileBytes, t);
                return;
            } catch (const FetchError& e) {
                const RetryDecision d = decideRetry(e.failure, attempt, settings_.retryWaitSeconds);
                if (!d.again || stop_ || outOfTime()) throw;
                say(std::string(e.what()) + "; trying again in " + std::to_string(d.waitSeconds) + " seconds");
                for (uint32_t s = 0; s < d.waitSeconds * 10 && !stop_; ++s) Sleep(100);
            }
        }
    }

    // Checks what `part` holds; throws FetchError(Refused) with the reason.
    ContainerHeader check(PartFile& part, const std::string& name, const std::string& db, std::string* signedHeader = nullptr) {
        WinFile file(part.handle(), part.size());
        RangeStream in(file, 0, file.size());
        try {
            CheckLimits limits;
            return checkContainer(in, kindOf(name), db, keys_, nullptr, limits, signedHeader);
        } catch (const ContainerRefused& e) {
            throw FetchError(Failure::Refused, name + " was discarded: " + e.what());
        } catch (const ReadError& e) {
            throw std::runtime_error(name + " cannot be read back: " + e.what());
        }
    }

    // Checks the detached signature the mirror offers for `what`, when it
    // offers one. Throws FetchError(Refused) when it is not good; without
    // one, or in a form this program does not check, the file's own
    // signature (already checked) decides.
    void checkDetached(Mirror& mirror, const std::string& signName, const ContentDigester& digestOfContent, const std::string& what) {
        std::string text;
        try {
            PartFile part(folder_ + "\\" + signName);
            download(mirror, signName, part, kMostSignatureFileBytes);
            text.resize(static_cast<size_t>(part.size()));
            WinFile file(part.handle(), part.size());
            if (file.readAt(0, text.data(), text.size()) != text.size()) throw std::runtime_error(signName + " cannot be read back");
        } catch (const FetchError& e) {
            if (e.failure != Failure::NotFound) throw;
            say("The mirror offers no detached signature for " + what + "; its own signature was checked");
            return;
        }
        const DetachedResult r = checkDetachedSignature(text, digestOfContent, keys_.roots, static_cast<int64_t>(now()));
        switch (r.verdict) {
            case DetachedVerdict::Verified:
                say("The detached signature " + signName + " is good (signed by " + r.text + ")");
                return;
            case DetachedVerdict::NotChecked:
                say("The detached signature " + signName + " was not checked (" + r.text + "); " + what +
                    "'s own signature, which was checked, decides");
                return;
            case DetachedVerdict::Refused:
                throw FetchError(Failure::Refused, what + " was discarded: its detached signature " + signName + " is not good: " + r.text);
        }
    }

    void put(PartFile& part, const std::string& db, const std::string& name, uint32_t local, uint32_t version, const char* how) {
        part.commit();
        // The other form of the same database goes, so that the engines never load both.
        const std::string other = folder_ + "\\" + db + (kindOf(name) == ContainerKind::Cld ? ".cvd" : ".cld");
        DeleteFileA(other.c_str());
        changed_.push_back(folder_ + "\\" + name);
        say(db + " updated " + how + ": " + versionText(local) + " -> " + std::to_string(version));
        note(after_, db, version);
    }

    // True when the installed container passes every check; else `damage` says why.
    bool verifiedInstalled(const std::string& path, const std::string& db, std::string& damage) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            damage = systemMessage(GetLastError());
            return false;
        }
        LARGE_INTEGER size{};
        GetFileSizeEx(h, &size);
        WinFile file(h, static_cast<uint64_t>(size.QuadPart));
        RangeStream in(file, 0, file.size());
        bool ok = true;
        try {
            std::string signedHeader;
            checkContainer(in, kindOf(path), db, keys_, nullptr, {}, &signedHeader);
            // A .cld installed before its header was rebuilt from the signed
            // list may still show a mirror's text as the definitions' date.
            std::string head(kContainerHeaderSize, '\0');
            if (kindOf(path) == ContainerKind::Cld && (file.readAt(0, head.data(), head.size()) != head.size() || head != signedHeader)) {
                damage = "its header is not the one its signed member list gives";
                ok = false;
            }
        } catch (const std::exception& e) {
            damage = e.what();
            ok = false;
        }
        CloseHandle(h);
        return ok;
    }

    // `repair`: the installed version may come again (a damaged file, /force).
    void full(Mirror& mirror, const std::string& db, const std::string& name, uint32_t local, uint32_t remote, bool repair) {
        try {
            PartFile part(folder_ + "\\" + name);
            download(mirror, name, part);
            std::string signedHeader;
            const ContainerHeader h = check(part, name, db, &signedHeader);
            if (!acceptFetched(h.version, remote, local, repair))
                throw FetchError(Failure::Refused, name + " was discarded: it holds version " + std::to_string(h.version) +
                                                       ", not the " + std::to_string(remote) + " announced");
            const bool cld = kindOf(name) == ContainerKind::Cld;
            checkDetached(mirror, detachedSignatureName(db, h.version, cld ? "cld" : "cvd"), digesterOf(part), name);
            // A .cld's header is signed by nothing: the engines and the info
            // program read it from the signed member list instead.
            if (cld) part.writeAt(0, signedHeader.data(), signedHeader.size());
            put(part, db, name, local, h.version, "in full");
        } catch (const FetchError&) {
            throw;
        } catch (const std::exception& e) {
            throw FetchError(Failure::Cut, e.what());
        }
    }

    // True when the patches brought the database to `remote`; false when the
    // mirror lacks one (a full download follows).
    bool patch(Mirror& mirror, const std::string& db, const std::string& installed, uint32_t local, uint32_t remote) {
        MemberSet set;
        uint32_t base = 0;
        try {
            HANDLE h = CreateFileA(installed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) throw std::runtime_error(systemMessage(GetLastError()));
            LARGE_INTEGER size{};
            GetFileSizeEx(h, &size);
            WinFile file(h, static_cast<uint64_t>(size.QuadPart));
            RangeStream in(file, 0, file.size());
            try {
                base = checkContainer(in, kindOf(installed), db, keys_, &set).version;
            } catch (...) {
                CloseHandle(h);
                throw;
            }
            CloseHandle(h);
        } catch (const std::exception& e) {
            say("The installed " + installed + " cannot be patched (" + e.what() + "); downloading in full");
            return false;
        }
        if (base != local) {
            say("The installed " + installed + " is not the version its header said; downloading in full");
            return false;
        }
        for (uint32_t v = base + 1; v <= remote; ++v) {
            const std::string name = db + "-" + std::to_string(v) + ".cdiff";
            std::string bytes;
            try {
                PartFile part(folder_ + "\\" + name);
                download(mirror, name, part);
                if (part.size() > kScriptLimit) throw FetchError(Failure::Refused, name + " is too large");
                bytes.resize(static_cast<size_t>(part.size()));
                WinFile file(part.handle(), part.size());
                if (file.readAt(0, bytes.data(), bytes.size()) != bytes.size()) throw std::runtime_error(name + " cannot be read back");
            } catch (const FetchError& e) {
                if (e.failure != Failure::NotFound) throw;
                say("The mirror has no patch " + name + "; downloading " + db + " in full");
                return false;
            }
            try {
                checkDetached(mirror, name + ".sign", [&](DigestKind kind) { return digestOf(kind, bytes); }, name);
            } catch (const FetchError& e) {
                if (e.failure != Failure::Refused) throw;
                say("Refused: " + std::string(e.what()) + "; downloading " + db + " in full");
                worsen(kRefused);
                return false;
            }
            try {
                applyPatchStep(bytes, keys_.patch, v - 1, set);
            } catch (const PatchError& e) {
                say("Refused: " + name + " was discarded: " + e.what() + "; downloading " + db + " in full");
                worsen(kRefused);
                return false;
            }
        }
        const std::string name = db + ".cld";
        try {
            PartFile part(folder_ + "\\" + name);
            writeCld(set, db, [&](std::string_view bytes) { part.write(bytes.data(), bytes.size()); });
            set = MemberSet();
            const ContainerHeader h = check(part, name, db);
            if (h.version != remote) throw FetchError(Failure::Refused, "the patched " + name + " holds version " + std::to_string(h.version));
            const std::string how = "by " + std::to_string(remote - local) + (remote - local == 1 ? " patch" : " patches");
            put(part, db, name, local, remote, how.c_str());
        } catch (const FetchError& e) {
            if (e.failure != Failure::Refused) throw;
            say("Refused: " + std::string(e.what()) + "; downloading " + db + " in full");
            worsen(kRefused);
            return false;
        } catch (const std::exception& e) {
            throw FetchError(Failure::Cut, e.what());
        }
        return true;
    }

    using Versions = std::vector<std::pair<std::string, uint32_t>>;
    static void note(Versions& list, const std::string& db, uint32_t version) {
        for (auto& [name, v] : list)
            if (name == db) {
                v = version;
                return;
            }
        list.emplace_back(db, version);
    }

    void summarise(int code, const std::vector<std::string>& pending) {
        std::string b, a;
        const auto text = [](const std::pair<std::string, uint32_t>& e) {
            return e.first + " " + (e.second ? std::to_string(e.second) : std::string("(none)"));
        };
        for (const auto& e : before_) b += (b.empty() ? "" : ", ") + text(e);
        for (const auto& e : after_) a += (a.empty() ? "" : ", ") + text(e);
        say("Versions before: " + (b.empty() ? std::string("-") : b));
        say("Versions after: " + (a.empty() ? std::string("-") : a));
        std::string left;
        for (const auto& db : pending) left += (left.empty() ? "" : ", ") + db;
        if (code == kCurrent) say(changed_.empty() ? "The virus definitions are current." : "The virus definitions were updated and verified.");
        else if (code == kNotChecked) say("The virus definitions were not checked this time.");
        else if (pending.empty())
            say("Every database is current and verified, but a mirror offered a file that was discarded or an older version (see above).");
        else
            say("Not every database could be updated (" + left + "); the installed databases that were not replaced stay as they were.");
    }

    const RunOptions& options_;
    std::string programDir_, folder_;
    const TrustedKeys& keys_;
    RunReporter& reporter_;
    const std::atomic<bool>& stop_;
    UpdateLog log_;
    Settings settings_;
    bool refused_ = false, notChecked_ = false;
    uint64_t bytes_ = 0, waitAsked_ = 0, runDeadline_ = 0;
    bool askedMirror_ = false;
    std::vector<std::string> changed_;
    Versions before_, after_;
};

}  // namespace

int runUpdate(const RunOptions& options, const std::string& programDir, const TrustedKeys& keys, RunReporter& reporter,
              const std::atomic<bool>& stop) {
    return Run(options, programDir, keys, reporter, stop).run();
}

}  // namespace qdx::update
