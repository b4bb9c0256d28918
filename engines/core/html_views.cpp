#include "html_views.h"

#include <string>

namespace qdx {
namespace {

// One view of the page, normalised as it is read.
class ViewData final : public MemberData {
public:
    ViewData(RandomAccess& page, HtmlChannel channel) : normaliser_(page, channel), channel_(channel) {}
    size_t read(void* buffer, size_t size) override {
        auto* to = static_cast<char*>(buffer);
        size_t given = 0;
        while (given < size) {
            const std::string& view = this->view();
            if (taken_ < view.size()) {
                const size_t n = std::min(size - given, view.size() - taken_);
                view.copy(to + given, n, taken_);
                taken_ += n;
                given += n;
                continue;
            }
            if (!more_) break;
            out_.clear();
            taken_ = 0;
            more_ = normaliser_.step(out_);
        }
        return given;
    }
    // Whether the view holds nothing at all: normalises the page until it
    // gives something or ends (the script view is written a script at a
    // time, and a page without scripts has none).
    bool empty() {
        while (taken_ == view().size() && more_) {
            out_.clear();
            taken_ = 0;
            more_ = normaliser_.step(out_);
        }
        return taken_ == view().size();
    }
    bool damaged() const override { return false; }

private:
    HtmlNormaliser normaliser_;
    const std::string& view() const {
        return channel_ == kNoComment ? out_.noComment : channel_ == kNoTags ? out_.noTags : out_.javaScript;
    }

    HtmlChannel channel_;
    HtmlOutput out_;
    size_t taken_ = 0;
    bool more_ = true;
};

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

class HtmlViews;

// The data of the current data URL: the normaliser's data channel up to
// the URL's end.
class UrlData final : public MemberData {
public:
    explicit UrlData(HtmlViews& views) : views_(views) {}
    size_t read(void* buffer, size_t size) override;
    bool damaged() const override { return false; }
    void start(bool base64) {
        base64_ = base64;
        bits_ = 0;
        held_ = 0;
        stopped_ = false;
    }

private:
    HtmlViews& views_;
    bool base64_ = false, stopped_ = false;
    uint32_t bits_ = 0;
    int held_ = 0;
};

class HtmlViews final : public ArchiveReader {
public:
    explicit HtmlViews(RandomAccess& page) : page_(page), urls_(page, kDataUrls), urlData_(*this) {}

    bool next(MemberInfo& info) override {
        info = MemberInfo{};
        view_.reset();
        ++member_;
        if (member_ == 1) return view(info, "nocomment.html", kNoComment);
        if (member_ == 2 && page_.size() <= kMaxHtmlNoTags) return view(info, "notags.html", kNoTags);
        if (member_ <= 3) {
            member_ = 3;
            view_ = std::make_unique<ViewData>(page_, kJavaScript);
            if (!view_->empty()) {
                info.name = "javascript";
                info.view = MemberView::Script;
                return true;
            }
            view_.reset();
        }
        // The next data URL: what is left of the one before is passed over.
        if (inUrl_) skipUrl();
        for (;;) {
            if (event_ < out_.dataEvents.size()) {
                const HtmlOutput::DataEvent& e = out_.dataEvents[event_++];
                if (!e.begins) continue;
                at_ = e.at;
                inUrl_ = true;
                info.name = "data-" + std::to_string(++urlsSeen_);
                urlData_.start(e.mediaType.find(";base64") != std::string::npos);
                return true;
            }
            if (!refill()) return false;
        }
    }
    MemberData& data() override {
        if (view_) return *view_;
        return urlData_;
    }
    bool damaged() const override { return false; }

    // Bytes of the current URL into `to`; 0 at its end.
    size_t urlBytes(char* to, size_t size) {
        while (inUrl_) {
            const size_t stop = event_ < out_.dataEvents.size() ? out_.dataEvents[event_].at : out_.data.size();
            if (at_ < stop) {
                const size_t n = std::min(size, stop - at_);
                out_.data.copy(to, n, at_);
                at_ += n;
                return n;
            }
            if (event_ < out_.dataEvents.size()) {
                inUrl_ = false;  // its end (events of a URL come begin, end)
                ++event_;
                return 0;
            }
            if (!refill()) inUrl_ = false;
        }
        return 0;
    }

private:
    bool view(MemberInfo& info, const char* name, HtmlChannel channel) {
        info.name = name;
        info.view = MemberView::HtmlText;
        view_ = std::make_unique<ViewData>(page_, channel);
        return true;
    }
    void skipUrl() {
        char sink[4096];
        while (urlBytes(sink, sizeof sink) != 0) {
        }
    }
    // More output of the normaliser, once all before is used; false at the
    // end of the page.
    bool refill() {
        if (!more_) return false;
        // Keep what the current URL has not yet given.
        out_.data.erase(0, at_);
        out_.dataEvents.erase(out_.dataEvents.begin(), out_.dataEvents.begin() + static_cast<std::ptrdiff_t>(event_));
        for (HtmlOutput::DataEvent& e : out_.dataEvents) e.at -= at_;
        at_ = 0;
        event_ = 0;
        more_ = urls_.step(out_);
        return true;
    }

    RandomAccess& page_;
    HtmlNormaliser urls_;
    HtmlOutput out_;
    UrlData urlData_;
    std::unique_ptr<ViewData> view_;
    int member_ = 0;
    size_t event_ = 0, at_ = 0;
    uint64_t urlsSeen_ = 0;
    bool inUrl_ = false, more_ = true;
};

size_t UrlData::read(void* buffer, size_t size) {
    auto* to = static_cast<char*>(buffer);
    if (!base64_) return views_.urlBytes(to, size);
    // Base64: characters outside its alphabet are passed over, '=' ends it.
    size_t given = 0;
    char in[1024];
    while (given + 3 <= size && !stopped_) {
        const size_t got = views_.urlBytes(in, std::min(sizeof in, (size - given) / 3 * 4));
        if (got == 0) break;
        for (size_t i = 0; i < got && !stopped_; ++i) {
            if (in[i] == '=') {
                stopped_ = true;
                break;
            }
            const int v = base64Value(in[i]);
            if (v < 0) continue;
            bits_ = (bits_ << 6) | static_cast<uint32_t>(v);
            if (++held_ == 4) {
                to[given++] = static_cast<char>(bits_ >> 16);
                to[given++] = static_cast<char>(bits_ >> 8);
                to[given++] = static_cast<char>(bits_);
                bits_ = 0;
                held_ = 0;
            }
        }
    }
    if (stopped_ || given == 0) {
        // The characters short of a group give what whole bytes they hold.
        if (held_ >= 2 && given + 2 <= size) {
            const uint32_t b = bits_ << (6 * (4 - held_));
            to[given++] = static_cast<char>(b >> 16);
            if (held_ == 3) to[given++] = static_cast<char>(b >> 8);
        }
        held_ = 0;
    }
    return given;
}

}  // namespace

std::unique_ptr<ArchiveReader> openHtml(RandomAccess& page) {
    if (page.size() > kMaxHtmlNormalised) return nullptr;
    return std::make_unique<HtmlViews>(page);
}

}  // namespace qdx
