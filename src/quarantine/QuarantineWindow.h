#pragma once
// The quarantine window of quendixq.exe: lists the entries of the store and
// restores or deletes the selected one. Closing it ends the program.
#include "quarantine/EntryStore.h"
#include "ui/Form.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quendix::quarantine {

inline constexpr const char* kQuarantineTitle = "Quendix Quarantine";

class QuarantineWindow : public ui::Form {
public:
    explicit QuarantineWindow(std::wstring folder);

    ui::Label IntroLabel, DetailLabel, StoreLabel;
    ui::ListView EntryList;
    ui::Button RestoreBtn, RestoreToBtn, DeleteBtn, RefreshBtn, CloseBtn;

    void create();
    // Reads the store again and lists what it holds.
    void refresh();
    const std::vector<StoredEntry>& entries() const { return entries_; }

    // Asks for the place of a file to restore: `suggested` is shown first,
    // `title` says why. Empty when the user cancels. Tests put their own
    // chooser in place of the save dialog.
    using PathChooser = std::function<std::optional<std::wstring>(const std::wstring& suggested,
                                                                 const std::string& title)>;
    void setPathChooser(PathChooser chooser) { choosePath_ = std::move(chooser); }

protected:
    void bindControls() override;
    void FormCreate() override;
    void closeRequested() override;
    bool handleMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    const StoredEntry* selected() const;
    void restore(bool elsewhere);
    void deleteSelected();
    void updateButtons();

    std::wstring folder_;
    std::vector<StoredEntry> entries_;
    // Entries found damaged while restoring (the listing reads headers only).
    std::map<std::wstring, std::string> foundDamaged_;
    PathChooser choosePath_;
};

// The save dialog, opened over `owner` at `suggested`.
std::optional<std::wstring> askSavePath(HWND owner, const std::wstring& suggested, const std::string& title);

} // namespace quendix::quarantine
