#pragma once
// The single instance of every window, created once by the program entry in
// this order and alive until the program ends.
#include "app/Unit1.h"
#include "info/Unit10.h"
#include "info/Unit12.h"
#include "info/Unit13.h"
#include "info/Unit14.h"
#include "info/Unit6.h"
#include "info/Unit7.h"
#include "scan/Unit15.h"
#include "scan/unit16.h"

namespace quendix {

extern TForm1* Form1;
extern TOKRightDlg* OKRightDlg;       // About
extern TOKRightDlg1* OKRightDlg1;     // Help
extern TOKRightDlg9* OKRightDlg9;     // Updates
extern TOKRightDlg13* OKRightDlg13;   // Number of viruses
extern TOKRightDlg14* OKRightDlg14;   // New and Frequently Reported Viruses
extern TOKRightDlg19* OKRightDlg19;   // Virus List
extern TOKRightDlg20* OKRightDlg20;   // results
extern TOKRightDlg24* OKRightDlg24;   // report saved

// Creates all nine in order; each creation step runs to its end, and a
// failure in one is shown without stopping the others.
void createWindows();
// Destroys them again (tests create the windows more than once).
void destroyWindows();

} // namespace quendix
