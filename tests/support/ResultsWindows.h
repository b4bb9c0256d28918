#pragma once
// The results window and its "Report file saved." window, made for one test
// and gone after it, as start-up would have made them.
#include "scan/Unit15.h"
#include "scan/unit16.h"

namespace quendix::testing {

class ResultsWindows {
public:
    ResultsWindows()
    {
        OKRightDlg20 = new TOKRightDlg20;
        OKRightDlg20->create();
        OKRightDlg24 = new TOKRightDlg24;
        OKRightDlg24->create();
    }
    ~ResultsWindows()
    {
        delete OKRightDlg24;
        OKRightDlg24 = nullptr;
        delete OKRightDlg20;
        OKRightDlg20 = nullptr;
    }
    ResultsWindows(const ResultsWindows&) = delete;
    ResultsWindows& operator=(const ResultsWindows&) = delete;
};

} // namespace quendix::testing
