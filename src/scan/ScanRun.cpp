#include "scan/ScanRun.h"

namespace quendix {

ScanCounters Counters;

void runScan(ScanHost&)
{
}

} // namespace quendix
