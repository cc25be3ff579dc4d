// libFuzzer target for the schematic server stand-in's document reader: arbitrary bytes as a document file.
// Nothing may crash, hang or leak; a refused file says why, naming the file; and a file that is read is written
// back to JSON that reads again to the same JSON (a save followed by a load changes nothing).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SchDocumentFile.h"
#include "SchDocumentReader.h"

using namespace pravik;

namespace {

void Check(bool condition, const char* rule) {
  if (!condition) {
    std::fprintf(stderr, "SchDocumentFuzz: broken rule: %s\n", rule);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks a schematic or a library; the rest is the file.
  const bool library = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string path = library ? "fuzz.SchLib" : "fuzz.SchDoc";
  TDocument document;
  document.Library = library;
  std::string error;
  if (!ReadDocumentText(path, text, document, error)) {
    Check(error.rfind(path, 0) == 0, "a refused file's message starts with the file");
    return 0;
  }
  Check(error.empty(), "a file that is read has no message");
  const std::string saved = DocumentToJson(document).dump();
  TDocument again;
  again.Library = library;
  std::string againError;
  Check(ReadDocumentText(path, saved, again, againError), "what a document writes reads again");
  Check(DocumentToJson(again).dump() == saved, "writing what was read back gives the same JSON");
  return 0;
}
