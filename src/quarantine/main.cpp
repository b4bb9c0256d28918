// quendixq.exe: the quarantine window on its own.
#include "quarantine/EntryStore.h"
#include "quarantine/QuarantineWindow.h"
#include "quarantine/StoreFolder.h"
#include "ui/ErrorBox.h"
#include "ui/LibrarySearch.h"
#include "ui/MessageLoop.h"

#include <windows.h>

#include <memory>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    using namespace quendix;
    ui::loadLibrariesFromSystem32Only();
    ui::setBoxTitle(quarantine::kQuarantineTitle);
    std::unique_ptr<quarantine::QuarantineWindow> window;
    if (!ui::guarded([&] {
            quarantine::enableRestorePrivileges();
            window = std::make_unique<quarantine::QuarantineWindow>(quarantine::defaultStoreFolder());
            window->create();
        }))
        return 1;
    window->show();
    return ui::runMessageLoop();
}
