#include "app/StartUp.h"

namespace quendix {

void runMainWindowStartUp(const std::function<void(const std::string&)>&)
{
}

} // namespace quendix
