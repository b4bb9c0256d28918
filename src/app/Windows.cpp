#include "app/Windows.h"

#include "ui/ErrorBox.h"

#include <memory>

namespace quendix {

namespace {

template <class T>
void make(T*& window)
{
    window = new T;
    ui::guarded([&] { window->create(); });
}

template <class T>
void destroy(T*& window)
{
    delete window;
    window = nullptr;
}

} // namespace

void createWindows()
{
    make(Form1);
    make(OKRightDlg);
    make(OKRightDlg1);
    make(OKRightDlg9);
    make(OKRightDlg13);
    make(OKRightDlg14);
    make(OKRightDlg19);
    make(OKRightDlg20);
    make(OKRightDlg24);
}

void destroyWindows()
{
    destroy(OKRightDlg24);
    destroy(OKRightDlg20);
    destroy(OKRightDlg19);
    destroy(OKRightDlg14);
    destroy(OKRightDlg13);
    destroy(OKRightDlg9);
    destroy(OKRightDlg1);
    destroy(OKRightDlg);
    destroy(Form1);
    destroyProgressWindow();
}

} // namespace quendix
