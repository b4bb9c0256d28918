#include "app/Exit.h"

#include "engine/ExchangeFiles.h"

#include <string>

namespace quendix {

namespace {

enum class Place { WorkDir, CurrentDir };

struct Leftover {
    Place place;
    const char* name;
};

// In this order; the first that cannot be deleted stops the rest.
constexpr Leftover kLeftovers[] = {
    {Place::WorkDir, ExchangeFiles::kInfoFile},
    // Working copies of the definitions that the engines leave.
    {Place::WorkDir, "quendix.dat"},
    {Place::WorkDir, "quendix.def"},
    {Place::WorkDir, "quendix2.def"},
    {Place::WorkDir, "quendix3.def"},
    {Place::WorkDir, "quendix.inf"},
    {Place::WorkDir, "quendix2.dat"},
    {Place::WorkDir, "sign.def"},
    {Place::WorkDir, "sign2.def"},
    {Place::WorkDir, "macro.def"},
    {Place::WorkDir, "english.tx0"},
    {Place::CurrentDir, "quendix2.inf"},
    // Exchange files an interrupted scan may have left.
    {Place::WorkDir, ExchangeFiles::kInfoSentinel},
    {Place::WorkDir, ExchangeFiles::kRequest},
    {Place::CurrentDir, ExchangeFiles::kRequest},
    {Place::WorkDir, ExchangeFiles::kResults},
    // The scanner's progress and a stop request, after the sixteen above.
    {Place::WorkDir, ExchangeFiles::kProgress},
    {Place::WorkDir, ExchangeFiles::kStopRequest},
};

} // namespace

void runExitCleanup()
{
    for (const Leftover& file : kLeftovers) {
        std::string path = file.place == Place::WorkDir ? ExchangeFiles::workPath(file.name) : file.name;
        ExchangeFiles::deleteIfPresent(path);
    }
}

} // namespace quendix
