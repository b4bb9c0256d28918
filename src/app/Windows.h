#pragma once
// Every window of the program, created once by the program entry in this
// order and alive until the program ends. Each instance is declared beside
// its class; this is the one place that knows them all.
//
// | Role                        | Class / instance             | File        | Layout table | Opened by                                                        |
// |-----------------------------|------------------------------|-------------|--------------|------------------------------------------------------------------|
// | Main window                 | TForm1 / Form1               | app/Unit1   | Unit1Layout  | start-up                                                         |
// | About                       | TOKRightDlg / OKRightDlg     | info/Unit6  | Unit6Layout  | Help > "About" (About2Click)                                     |
// | Help                        | TOKRightDlg1 / OKRightDlg1   | info/Unit7  | Unit7Layout  | Help > "Quendix Professional Version Help", About's "Help"       |
// | Updates                     | TOKRightDlg9 / OKRightDlg9   | info/Unit10 | Unit10Layout | Help > "Updates" (About1Click)                                   |
// | Number of viruses           | TOKRightDlg13 / OKRightDlg13 | info/Unit12 | Unit12Layout | Help > "Number of viruses" (Updates1Click)                       |
// | New and Frequently Reported | TOKRightDlg14 / OKRightDlg14 | info/Unit13 | Unit13Layout | Viruses menu; 2nd "Virus List" button (MostDangerousVirus1Click) |
// | Virus List                  | TOKRightDlg19 / OKRightDlg19 | info/Unit14 | Unit14Layout | Viruses menu; 1st "Virus List" button (VirusList1Click)          |
// | Scan results                | TOKRightDlg20 / OKRightDlg20 | scan/Unit15 | Unit15Layout | every scan command (enter1)                                      |
// | "Report file saved."        | TOKRightDlg24 / OKRightDlg24 | scan/unit16 | unit16Layout | the results window's "Save" (CancelBtnClick)                     |
// | Progress of a long wait     | TProgressDlg / ProgressDlg   | scan/ProgressWindow | ProgressLayout | the wait for an engine, once it lasts (created on first use) |
//
// Layout tables live in resources/layouts/<file>Layout.h.
#include "app/Unit1.h"
#include "info/Unit10.h"
#include "info/Unit12.h"
#include "info/Unit13.h"
#include "info/Unit14.h"
#include "info/Unit6.h"
#include "info/Unit7.h"
#include "scan/ProgressWindow.h"
#include "scan/Unit15.h"
#include "scan/unit16.h"

namespace quendix {

// Creates all nine in order; each creation step runs to its end, and a
// failure in one is shown without stopping the others.
void createWindows();
// Destroys them again (tests create the windows more than once).
void destroyWindows();

} // namespace quendix
