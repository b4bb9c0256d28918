// The folder "signatures" beside the engine programs: every database file in
// it goes through the loader into a sink, ignore lists first so that they
// apply to all the others.
#pragma once
#include <string>

#include "database.h"

namespace qdx {

// The folder's path beside the running program.
std::string signatureFolder();

// A missing folder loads nothing and is no error.
void loadSignatureFolder(const std::string& folder, DatabaseSink& sink, LoadReport& report);

}  // namespace qdx
