#include "app/Exit.h"

namespace quendix {

void runExitCleanup()
{
}

} // namespace quendix
