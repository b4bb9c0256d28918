#pragma once
// The exit clean-up: removes the engines' leftovers and any exchange files an
// interrupted scan left. The main window closes afterwards.
namespace quendix {

void runExitCleanup();

} // namespace quendix
