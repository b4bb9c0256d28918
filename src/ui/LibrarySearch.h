#pragma once

namespace quendix::ui {

// DLLs loaded from now on come from System32 only, never from the program's
// folder or the current directory (where Windows has the call: 8 and later,
// 7 and Vista with their update). Every elevated program calls it first.
void loadLibrariesFromSystem32Only();

} // namespace quendix::ui
