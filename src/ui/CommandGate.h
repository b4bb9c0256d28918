#pragma once
// Whether a window's commands may run now. The program decides (say, none
// while it waits for another program); the toolkit only asks.
#include <functional>

namespace quendix::ui {

class Form;

// Answers true when `window` may run a command now.
using CommandGate = std::function<bool(const Form& window)>;

// Replaces the gate; an empty one lets every command through. Returns the
// previous gate.
CommandGate setCommandGate(CommandGate gate);

bool commandsAllowed(const Form& window);

} // namespace quendix::ui
