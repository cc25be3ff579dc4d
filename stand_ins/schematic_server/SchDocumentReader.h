// Reading a schematic document file's text into the server's objects.
#pragma once

#include <string>

#include "SchModel.h"

namespace pravik {

// Reads Text, the content of the file at Path, into Document, whose Library flag tells which kind of file it is.
// False with a message that names the file when the text is not JSON (with line and column) or a member is wrong
// (with its place, such as components[1].pins[0].length); Document then holds part of the file and is to be
// dropped.
bool ReadDocumentText(const std::string& path, const std::string& text, TDocument& document, std::string& error);

}  // namespace pravik
