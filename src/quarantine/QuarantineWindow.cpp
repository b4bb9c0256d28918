#include "quarantine/QuarantineWindow.h"

#include "layouts/QuarantineLayout.h"
#include "quarantine/StoreFolder.h"
#include "quarantine_format/Ownership.h"
#include "quarantine/WideText.h"
#include "ui/ErrorBox.h"
#include "ui/QuestionBox.h"

#include <commdlg.h>

#include <array>
#include <cstdio>

namespace quendix::quarantine {

namespace {

const ui::FormSpec kSpec{kQuarantineTitle, 680, 390, ui::Border::Dialog, ui::Colour::Face, true, 0, 0,
                         layouts::kQuarantineControls};

constexpr std::array<ui::ListView::Column, 5> kColumns{{
    {"Date", 114},
    {"Original path", 272},
    {"Virus", 116},
    {"Action", 72},
    {"Size", 62, true},
}};

// Local time of a FILETIME in UTC, as "2026-12-08 10:15".
std::string localTime(std::uint64_t ticks)
{
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t))
        return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}

// The time in an entry's name (UTC), for an entry whose header cannot be read.
std::string timeFromName(const std::wstring& file)
{
    std::string name = narrow(file.substr(file.find_last_of(L'\\') + 1));
    SYSTEMTIME t{};
    if (std::sscanf(name.c_str(), "%4hu%2hu%2hu%2hu%2hu", &t.wYear, &t.wMonth, &t.wDay, &t.wHour, &t.wMinute) != 5)
        return "?";
    FILETIME ft{};
    if (!SystemTimeToFileTime(&t, &ft))
        return "?";
    return localTime((std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

std::string withSeparators(std::uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string actionText(const EntryHeader& h)
{
    switch (h.action) {
    case Action::Deleted: return "Deleted";
    case Action::Disinfected: return "Disinfected";
    case Action::Renamed: return "Renamed";
    }
    return "";
}

std::wstring fileNameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

QuarantineWindow::QuarantineWindow(std::wstring folder) : folder_(std::move(folder))
{
    choosePath_ = [this](const std::wstring& suggested, const std::string& title) {
        return askSavePath(handle(), suggested, title);
    };
}

void QuarantineWindow::create()
{
    Form::create(kSpec);
}

void QuarantineWindow::bindControls()
{
    bind(IntroLabel, "IntroLabel");
    bind(DetailLabel, "DetailLabel");
    bind(StoreLabel, "StoreLabel");
    bind(EntryList, "EntryList");
    bind(RestoreBtn, "RestoreBtn");
    bind(RestoreToBtn, "RestoreToBtn");
    bind(DeleteBtn, "DeleteBtn");
    bind(RefreshBtn, "RefreshBtn");
    bind(CloseBtn, "CloseBtn");
    onClick(RestoreBtn, [this] { restore(false); });
    onClick(RestoreToBtn, [this] { restore(true); });
    onClick(DeleteBtn, [this] { deleteSelected(); });
    onClick(RefreshBtn, [this] { refresh(); });
    onClick(CloseBtn, [this] { closeRequested(); });
}

void QuarantineWindow::FormCreate()
{
    EntryList.setColumns(kColumns, dpi());
    refresh();
}

void QuarantineWindow::closeRequested()
{
    hide();
    PostQuitMessage(0);
}

bool QuarantineWindow::handleMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT&)
{
    if (msg == WM_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->hwndFrom == EntryList.handle() && hdr->code == static_cast<UINT>(LVN_ITEMCHANGED))
            updateButtons();
    }
    return false;
}

void QuarantineWindow::refresh()
{
    const int was = EntryList.selectedIndex();
    entries_.clear();
    EntryList.clear();
    StoreLabel.setTextFitted("Kept in " + narrow(folder_));
    updateButtons();
    if (!checkStoreFolder(folder_)) {
        StoreLabel.setTextFitted("Nothing has been quarantined (" + narrow(folder_) + " does not exist)");
        return;
    }
    std::size_t passedOver = 0;
    entries_ = listEntries(folder_, &passedOver);
    for (StoredEntry& e : entries_) {
        if (auto found = foundDamaged_.find(e.file); found != foundDamaged_.end() && e.header) {
            e.header.reset();
            e.damage = found->second;
        }
        if (e.header) {
            const EntryHeader& h = *e.header;
            std::string path = h.path;
            if (h.action == Action::Renamed && !h.renamedTo.empty())
                path += "  (now " + h.renamedTo + ")";
            EntryList.add({localTime(h.quarantined), path, h.virus, actionText(h), withSeparators(h.size)});
        } else {
            EntryList.add({timeFromName(e.file), "Damaged entry " + narrow(fileNameOf(e.file)) + ": " + e.damage, "",
                           "Damaged", withSeparators(e.fileSize)});
        }
    }
    const std::size_t count = entries_.size();
    // Why files are passed over matters more than where they are.
    std::string store = std::to_string(count) + (count == 1 ? " file" : " files") + " kept";
    if (passedOver)
        store += "; " + std::to_string(passedOver) + (passedOver == 1 ? " file" : " files") + " passed over, " +
                 whyEntryPassedOver(Principal::Other);
    else
        store += " in " + narrow(folder_);
    StoreLabel.setTextFitted(store);
    if (count)
        EntryList.select(was >= 0 && static_cast<std::size_t>(was) < count ? was : 0);
    updateButtons();
}

const StoredEntry* QuarantineWindow::selected() const
{
    const int row = EntryList.selectedIndex();
    if (row < 0 || static_cast<std::size_t>(row) >= entries_.size())
        return nullptr;
    return &entries_[static_cast<std::size_t>(row)];
}

void QuarantineWindow::updateButtons()
{
    // The list cuts long paths: the selected entry is shown in full.
    const StoredEntry* entry = selected();
    std::string detail;
    if (entry && entry->header)
        detail = entry->header->action == Action::Renamed && !entry->header->renamedTo.empty()
                     ? entry->header->path + ", renamed to " + entry->header->renamedTo
                     : entry->header->path;
    else if (entry)
        detail = "Damaged, cannot be restored: " + entry->damage;
    DetailLabel.setTextFitted(detail);
    const bool any = entry != nullptr;
    RestoreBtn.setEnabled(any);
    RestoreToBtn.setEnabled(any);
    DeleteBtn.setEnabled(any);
}

void QuarantineWindow::restore(bool elsewhere)
{
    const StoredEntry* entry = selected();
    if (!entry)
        return;
    if (!entry->header)
        throw std::runtime_error("This entry is damaged and cannot be restored: " + entry->damage +
                                 ". It stays in the quarantine");
    const std::wstring original = widen(entry->header->path);
    std::wstring target = original;
    if (elsewhere) {
        auto chosen = choosePath_(original, "Restore " + narrow(fileNameOf(original)) + " To");
        if (!chosen)
            return;
        target = *chosen;
    }
    RestoreResult result;
    for (;;) {
        try {
            // A large file takes a while to decompress and check.
            HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
            struct CursorBack {
                HCURSOR cursor;
                ~CursorBack() { SetCursor(cursor); }
            } back{previous};
            result = restoreEntry(*entry, target);
            break;
        } catch (const TargetExists& taken) {
            // Never over a file that stands there now: ask for another name.
            auto chosen = choosePath_(target, std::string(taken.what()) + ": choose another name");
            if (!chosen)
                return;
            target = *chosen;
        } catch (const DamagedEntry& damage) {
            const std::string why = damage.what();
            foundDamaged_[entry->file] = why;
            ui::guarded([this] { refresh(); });
            throw std::runtime_error("This entry is damaged and cannot be restored: " + why +
                                     ". It stays in the quarantine");
        }
    }
    refresh();
    if (!result.warning.empty())
        ui::showErrorBox(narrow(result.path) + " is restored, but " + result.warning);
}

void QuarantineWindow::deleteSelected()
{
    const StoredEntry* entry = selected();
    if (!entry)
        return;
    const std::string what = entry->header ? entry->header->path : narrow(fileNameOf(entry->file));
    if (!ui::askYesNo("Delete the kept copy of " + what + " for good? It cannot be restored afterwards."))
        return;
    deleteEntry(*entry);
    refresh();
}

std::optional<std::wstring> askSavePath(HWND owner, const std::wstring& suggested, const std::string& title)
{
    std::wstring folder = suggested.substr(0, suggested.find_last_of(L'\\') + 1);
    std::vector<wchar_t> file(32768, L'\0');
    std::wstring name = fileNameOf(suggested);
    name.copy(file.data(), std::min(name.size(), file.size() - 1));
    std::wstring caption = widen(title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"All files (*.*)\0*.*\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = caption.c_str();
    // No overwrite question: a restore never goes over a file, it asks again.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&ofn)) {
        if (DWORD error = CommDlgExtendedError())
            throw std::runtime_error("Cannot open the dialog to choose a file (error " + std::to_string(error) + ")");
        return std::nullopt;
    }
    return std::wstring(file.data());
}

} // namespace quendix::quarantine
