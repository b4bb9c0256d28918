#include "info/Unit14.h"

#include "engine/ExchangeFiles.h"
#include "engine/TextFiles.h"
#include "info/VirusListFill.h"
#include "layouts/Unit14Layout.h"

#include <algorithm>

namespace quendix {

TOKRightDlg19* OKRightDlg19 = nullptr;

int VirusListFillCounter = 0;

namespace {

const ui::FormSpec kSpec{"Virus List", 707, 505, ui::Border::Dialog, ui::Colour::InfoText, true, 0, 0,
                         layouts::kUnit14Controls};

// Adds rows straight to the two list boxes, with redrawing off meanwhile.
class ListBoxSink final : public info::VirusListSink {
public:
    ListBoxSink(const ui::ListBox& left, const ui::ListBox& right, int expectedRows) : left_(left), right_(right)
    {
        left_.beginUpdate(expectedRows);
        right_.beginUpdate(expectedRows / 2);
    }
    ~ListBoxSink() override
    {
        left_.endUpdate();
        right_.endUpdate();
    }
    ListBoxSink(const ListBoxSink&) = delete;
    ListBoxSink& operator=(const ListBoxSink&) = delete;

    void addLeft(const std::string& row) override { left_.add(row); }
    void addRight(const std::string& row) override { right_.add(row); }

private:
    const ui::ListBox& left_;
    const ui::ListBox& right_;
};

// A guess at the number of rows, from the file's size, for reserving room.
int expectedRows(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) || data.nFileSizeHigh != 0)
        return 1024;
    return static_cast<int>(std::clamp<DWORD>(data.nFileSizeLow / 16, 64, 1u << 20));
}

} // namespace

void TOKRightDlg19::create()
{
    Form::create(kSpec);
}

void TOKRightDlg19::bindControls()
{
    bind(ListBox1, "ListBox1");
    bind(ListBox2, "ListBox2");
    bind(OKBtn, "OKBtn");
    onClick(OKBtn, [this] { OKBtnClick(); });
}

void TOKRightDlg19::FormCreate()
{
    if (++VirusListFillCounter != 1)
        return;
    TextFileReader file(ExchangeFiles::kVirusList);
    {
        ListBoxSink sink(ListBox1, ListBox2, expectedRows(ExchangeFiles::kVirusList));
        info::fillVirusList(file.lines(), sink);
    }
    file.close();
}

void TOKRightDlg19::OKBtnClick()
{
    hide();
}

} // namespace quendix
