// The folder "signatures" beside the engine programs: every database file in
// it goes through the loader into a sink, ignore lists first so that they
// apply to all the others.
#pragma once
#include <string>
#include <vector>

#include "database.h"
#include "signature_image.h"

namespace qdx {

// The folder's path beside the running program.
std::string signatureFolder();

// Its database files with their sizes and times, by name.
std::vector<DatabaseFileStamp> listSignatureFolder(const std::string& folder);

// A missing folder loads nothing and is no error.
void loadSignatureFolder(const std::string& folder, DatabaseSink& sink, LoadReport& report);
// Loads the files listed; false when one could not be opened (the errors
// in `report` say which).
bool loadSignatureFiles(const std::string& folder, const std::vector<DatabaseFileStamp>& files, DatabaseSink& sink,
                        LoadReport& report);

}  // namespace qdx
