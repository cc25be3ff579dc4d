// Schematic document files: JSON to the server's objects and back, and the atomic save.
#pragma once

#include <memory>
#include <string>

#include "SchModel.h"

namespace pravik {

// Reads the file at Path. On any fault returns null with a message that names the file (for malformed JSON also
// line and column, for a wrong member its place such as components[1].pins[0].length); nothing is registered then.
std::unique_ptr<TDocument> LoadDocument(const std::string& path, std::string& error);

// The document as a JSON value: the members every object was read with, the server's current values over them,
// and the members the server does not know as they were.
TJson DocumentToJson(const TDocument& document);

// Writes the document to Path through a temporary file in the same folder that replaces Path only once it is
// complete and on disk. False with a message when anything fails; Path is then untouched.
bool SaveDocument(const TDocument& document, const std::string& path, std::string& error);

// Test hook: every save fails at Stage ("create", "write", "sync", "rename"); empty ends it.
void SetSaveFailure(const std::string& stage);

// Applies an interactive edit: the members of Edit over the object's own members, checked as a file's would be.
// False with a message (and the object unchanged) for a member the object does not have or a wrong value.
bool ApplyEdit(THandle handle, const TJson& edit, std::string& error);

// The absolute, normalised form of Path, for comparing file names.
std::string NormalisePath(const std::string& path);

}  // namespace pravik
