#include "ui/CommandGate.h"

#include <utility>

namespace quendix::ui {

namespace {
CommandGate& currentGate()
{
    static CommandGate gate;
    return gate;
}
} // namespace

CommandGate setCommandGate(CommandGate gate)
{
    return std::exchange(currentGate(), std::move(gate));
}

bool commandsAllowed(const Form& window)
{
    const CommandGate& gate = currentGate();
    return !gate || gate(window);
}

} // namespace quendix::ui
