// qxlabel devices / qxlabel print: the printers found, and a document printed from the
// command line through the same job as the editor's print command.
#pragma once

#include "document/document.h"

namespace qx::cli {

// A whole decimal number from lo to hi, nothing else in the text.
bool ParseInt(const char* s, int lo, int hi, int& out);

int Devices(int argc, char** argv);
// `doc` is the loaded Document (its working table in memory).
int Print(DocumentState& doc, const char* file, int argc, char** argv);

}  // namespace qx::cli
