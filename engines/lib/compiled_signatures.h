// The signature image in the folder "signatures" beside the programs, as
// the engine programs use it: mapped read-only when it was built from the
// databases and definitions as they are now, otherwise built from them and
// written under another name, then renamed into place (a scan that starts
// meanwhile sees the old image or the new one, never half of one).
//
// The image is trusted only there: the installation folder is writable by
// administrators only.
#pragma once
#include <string>

#include "definitions.h"
#include "signature_image.h"
#include "signature_store.h"

namespace qdx {

// Fills `store` with our definitions (`defs`, may be null) and the databases
// of `folder`, from its image when that matches, otherwise from the
// databases, writing the image for the next scan. Throws when the databases
// do not fit into memory.
void loadCompiledSignatures(const std::string& folder, const Definitions* defs, SignatureStore& store,
                            ImageSummary& summary);

// The summary alone (the load report and the info figures): from the image
// when it matches, otherwise by building it.
void compiledSummary(const std::string& folder, const Definitions* defs, ImageSummary& summary);

// (Re)builds the image of `folder` with the definitions beside the running
// program, for the updater after it changed the databases. False, with the
// reason, when it could not be written.
bool rebuildSignatureImage(const std::string& folder, std::string& error);

}  // namespace qdx
