// WinHTTP's automatic proxy is declared for Windows 8.1 on (older systems refuse it, and the default proxy is used).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0603
// A web mirror through WinHTTP: the system's proxy settings, TLS with the
// system's certificate checks (WinHTTP refuses a bad certificate unless told
// otherwise, and we never tell it), time-outs on every step, and a deadline
// and the user's Stop watched over every request by a second thread.
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#include "mirror.h"
#include "winpath.h"

namespace qdx::update {

std::unique_ptr<Mirror> openFolderMirror(const std::string& folder);

namespace {

class Internet {
public:
    explicit Internet(HINTERNET h = nullptr) : h_(h) {}
    ~Internet() {
        if (h_) WinHttpCloseHandle(h_);
    }
    Internet(Internet&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    Internet(const Internet&) = delete;
    Internet& operator=(const Internet&) = delete;
    Internet& operator=(HINTERNET h) {
        if (h_) WinHttpCloseHandle(h_);
        h_ = h;
        return *this;
    }
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HINTERNET h_;
};

// What a failed secure connection means, or nothing for other errors.
const char* secureFailure(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return "the mirror's certificate is for another name";
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return "the mirror's certificate has expired or is not valid yet";
        case ERROR_WINHTTP_SECURE_INVALID_CA: return "the mirror's certificate is not from an authority this machine trusts";
        case ERROR_WINHTTP_SECURE_CERT_REVOKED: return "the mirror's certificate was revoked";
        case ERROR_WINHTTP_SECURE_CERT_REV_FAILED: return "the revocation of the mirror's certificate cannot be checked";
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return "the mirror's certificate is not meant for a web server";
        case ERROR_WINHTTP_SECURE_INVALID_CERT: return "the mirror's certificate is not valid";
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_FAILURE_PROXY:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "the secure connection to the mirror failed (its certificate is not valid here, or it offers no protocol this machine accepts)";
        default: return nullptr;
    }
}

std::string lastError(const char* what, DWORD code = GetLastError()) {
    if (code == ERROR_WINHTTP_TIMEOUT) return std::string(what) + ": the mirror did not answer in time";
    if (code == ERROR_WINHTTP_CANNOT_CONNECT) return std::string(what) + ": cannot connect to the mirror";
    if (code == ERROR_WINHTTP_CONNECTION_ERROR) return std::string(what) + ": the connection was closed";
    if (code == ERROR_WINHTTP_INVALID_SERVER_RESPONSE) return std::string(what) + ": the mirror closed the connection without a valid answer";
    if (code == ERROR_WINHTTP_NAME_NOT_RESOLVED) return std::string(what) + ": the mirror's name is not known";
    if (const char* secure = secureFailure(code)) return std::string(what) + ": " + secure + " (" + std::to_string(code) + ")";
    const std::string text = systemMessage(code);
    return std::string(what) + ": " + (text.empty() ? "error " + std::to_string(code) : text);
}

// A request that failed: a failed secure connection is never tried again.
FetchError requestFailed(const char* what) {
    const DWORD code = GetLastError();
    return FetchError(secureFailure(code) ? Failure::Untrusted : Failure::Cut, lastError(what, code));
}

// One request, watched: when the user stops or its deadline passes, a
// second thread closes its handle, which is how WinHTTP ends a call that
// waits for the mirror (a mirror that sends a byte now and then would
// otherwise keep each read going).
class Request {
public:
    Request(HINTERNET handle, const Transfer& transfer, uint64_t deadline)
        : handle_(handle), stop_(transfer.stop), deadline_(deadline), thread_([this] { watch(); }) {}
    ~Request() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
        if (!ended_) WinHttpCloseHandle(handle_);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    HINTERNET get() const { return handle_; }
    void setDeadline(uint64_t deadline) { deadline_ = deadline; }
    // After a call failed: the reason when the watch ended the request.
    void throwIfEnded(const Transfer& transfer, const std::string& name) const {
        if (ended_ == kStopped) throw FetchError(Failure::Refused, "stopped by the user");
        if (ended_ == kLate) throw tooSlow(transfer, name);
    }
    // Between reads: the same verdict without waiting for the watch.
    void check(const Transfer& transfer, const std::string& name) const {
        throwIfEnded(transfer, name);
        if (stop_ && *stop_) throw FetchError(Failure::Refused, "stopped by the user");
        if (tickMs() > deadline_) throw tooSlow(transfer, name);
    }

private:
    enum : int { kRunning, kStopped, kLate };
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            wake_.wait_for(lock, std::chrono::milliseconds(100));
            if (done_) return;
            const int reason = stop_ && *stop_ ? kStopped : tickMs() > deadline_ ? kLate : kRunning;
            if (reason != kRunning) {
                ended_ = reason;
                WinHttpCloseHandle(handle_);
                return;
            }
        }
    }

    HINTERNET handle_;
    const std::atomic<bool>* stop_;
    std::atomic<uint64_t> deadline_;
    std::atomic<int> ended_{kRunning};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

std::string header(HINTERNET request, DWORD which) {
    wchar_t buffer[256];
    DWORD size = sizeof buffer;
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    return toAnsi(std::wstring(buffer, size / sizeof(wchar_t)));
}

class HttpMirror final : public Mirror {
public:
    HttpMirror(const std::string& url, const Settings& settings) : url_(url), timeoutMs_(settings.timeoutSeconds * 1000) {
        const std::wstring agent = toWide(settings.userAgent.empty() ? defaultUserAgent() : settings.userAgent);
        session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_)
            session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_) throw FetchError(Failure::Cut, lastError("WinHTTP cannot start"));
        WinHttpSetTimeouts(session_.get(), timeoutMs_, timeoutMs_, timeoutMs_, timeoutMs_);
        std::wstring wide = toWide(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        wchar_t host[256], path[1024];
        parts.lpszHostName = host;
        parts.dwHostNameLength = 256;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = 1024;
        if (!WinHttpCrackUrl(wide.c_str(), 0, 0, &parts)) throw FetchError(Failure::Refused, "the mirror " + url + " is not a valid address");
        secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;
        host_ = std::wstring(host, parts.dwHostNameLength);
        path_ = std::wstring(path, parts.dwUrlPathLength);
        if (path_.empty() || path_.back() != L'/') path_ += L'/';
        port_ = parts.nPort;
        connection_ = WinHttpConnect(session_.get(), host_.c_str(), port_, 0);
        if (!connection_) throw FetchError(Failure::Cut, lastError("cannot reach the mirror"));
    }

    std::string describe() const override { return url_; }

    std::string head(const std::string& name, const Transfer& transfer) override {
        Request request(open(name), transfer, transferDeadline(transfer, tickMs(), 512));
        send(request, transfer, name, "Range: bytes=0-511");
        const DWORD status = statusOf(request, transfer, name);
        if (status != 200 && status != 206) throw FetchError(Failure::ServerError, name + ": the mirror answered " + std::to_string(status));
        std::string block;
        char buffer[512];
        while (block.size() < 512) {
            const DWORD got = readSome(request, transfer, name, buffer, static_cast<DWORD>(512 - block.size()));
            if (got == 0) break;
            block.append(buffer, got);
        }
        return block;  // a server that sent the whole file is cut off here
    }

    void fetch(const std::string& name, HANDLE file, uint64_t limit, Transfer& transfer) override {
        LARGE_INTEGER have{};
        GetFileSizeEx(file, &have);
        uint64_t start = static_cast<uint64_t>(have.QuadPart);
        const uint64_t begun = tickMs();
        // Until the size is known, the answer itself must come within the grace time.
        Request request(open(name), transfer, transferDeadline(transfer, begun, 0));
        send(request, transfer, name, start ? "Range: bytes=" + std::to_string(start) + "-" : std::string());
        const DWORD status = statusOf(request, transfer, name);
        if (status == 200 || (status == 206 && header(request.get(), WINHTTP_QUERY_CONTENT_RANGE).rfind("bytes " + std::to_string(start) + "-", 0) != 0)) {
            start = 0;  // the whole file again
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
        } else if (status == 416) {
            // What we have is no beginning of the mirror's file: start again.
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
            throw FetchError(Failure::Cut, name + ": the mirror's file changed during the transfer");
        } else if (status != 206) {
            throw FetchError(status >= 500 ? Failure::ServerError : Failure::Refused, name + ": the mirror answered " + std::to_string(status));
        }
        LARGE_INTEGER end{};
        SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END);
        const std::string length = header(request.get(), WINHTTP_QUERY_CONTENT_LENGTH);
        const bool known = !length.empty();
        const uint64_t expected = known ? std::strtoull(length.c_str(), nullptr, 10) : 0;
        if (known && start + expected > limit) throw FetchError(Failure::Refused, name + " is larger than the limit for one file");
        if (known && transfer.size) transfer.size(start + expected);
        // Without a stated size, the largest file allowed sets the deadline.
        request.setDeadline(transferDeadline(transfer, begun, known ? expected : limit - start));
        std::string buffer(64 * 1024, '\0');
        uint64_t received = 0;
        for (;;) {
            DWORD written = 0;
            const DWORD got = readSome(request, transfer, name, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (got == 0) break;
            received += got;
            if (start + received > limit) throw FetchError(Failure::Refused, name + " is larger than the limit for one file");
            if (!WriteFile(file, buffer.data(), got, &written, nullptr) || written != got)
                throw std::runtime_error("cannot write the download: " + systemMessage(GetLastError()));
            if (transfer.progress) transfer.progress(got);
        }
        if (known && received != expected)
            throw FetchError(Failure::Cut, name + ": the transfer ended after " + std::to_string(received) + " of " +
                                               std::to_string(expected) + " bytes");
    }

private:
    // What has arrived, at most `size` bytes; 0 at the end. Asking what is
    // there first returns as soon as anything is (a read alone may wait to
    // fill the whole buffer), so that the deadline and Stop are looked at
    // between the bytes of a mirror that sends them one by one.
    static DWORD readSome(Request& request, const Transfer& transfer, const std::string& name, void* buffer, DWORD size) {
        request.check(transfer, name);
        DWORD available = 0, got = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available) ||
            (available && !WinHttpReadData(request.get(), buffer, available < size ? available : size, &got))) {
            const DWORD code = GetLastError();
            request.throwIfEnded(transfer, name);
            throw FetchError(Failure::Cut, lastError(name.c_str(), code));
        }
        return got;
    }

    HINTERNET open(const std::string& name) {
        const std::wstring object = path_ + toWide(name);
        HINTERNET request = WinHttpOpenRequest(connection_.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                               WINHTTP_DEFAULT_ACCEPT_TYPES, secure_ ? WINHTTP_FLAG_SECURE : 0);
        if (!request) throw FetchError(Failure::Cut, lastError(name.c_str()));
        if (!secure_) {
            // Never follow a redirect away from what the user named.
            DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
            WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        }
        return request;
    }

    void send(Request& request, const Transfer& transfer, const std::string& name, const std::string& extraHeader) {
        std::wstring headers = L"Cache-Control: no-cache\r\n";
        if (!extraHeader.empty()) headers += toWide(extraHeader) + L"\r\n";
        if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !WinHttpReceiveResponse(request.get(), nullptr)) {
            const DWORD code = GetLastError();
            request.throwIfEnded(transfer, name);
            SetLastError(code);
            throw requestFailed(name.c_str());
        }
    }

    DWORD statusOf(Request& req, const Transfer& transfer, const std::string& name) {
        const HINTERNET request = req.get();
        DWORD status = 0, size = sizeof status;
        if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                                 &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            req.throwIfEnded(transfer, name);
            throw FetchError(Failure::Cut, lastError(name.c_str()));
        }
        if (status == 404 || status == 410) throw FetchError(Failure::NotFound, name + " is not on the mirror");
        if (status == 429) {
            const uint64_t wait = retryAfterSeconds(header(request, WINHTTP_QUERY_RETRY_AFTER), static_cast<uint64_t>(std::time(nullptr)));
            throw FetchError(Failure::TooMany, name + ": the mirror is busy (429) and asks to wait " + std::to_string(wait) +
                                                   " seconds before the next request", wait);
        }
        if (status == 403) throw FetchError(Failure::Forbidden, name + ": the mirror refuses this client (403)");
        if (status >= 500) throw FetchError(Failure::ServerError, name + ": the mirror answered " + std::to_string(status));
        return status;
    }

    std::string url_;
    DWORD timeoutMs_;
    Internet session_, connection_;
    bool secure_ = false;
    std::wstring host_, path_;
    INTERNET_PORT port_ = 0;
};

}  // namespace

std::string defaultUserAgent() { return "QuendixUpdate/2.5 (OS: Windows, ARCH: i386)"; }

std::unique_ptr<Mirror> openMirror(const Source& source, const Settings& settings) {
    if (source.folder) return openFolderMirror(source.location);
    return std::make_unique<HttpMirror>(source.location, settings);
}

}  // namespace qdx::update
