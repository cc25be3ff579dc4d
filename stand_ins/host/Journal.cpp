// The host's journal.
#include "Journal.h"

namespace tolvex::host {

bool TJournal::Open(const std::string& path) {
  if (path.empty()) return true;
  if (path == "-") {
    FFile = stdout;
    return true;
  }
  FFile = std::fopen(path.c_str(), "wb");
  FOwned = FFile != nullptr;
  return FFile != nullptr;
}

TJournal::~TJournal() {
  if (FOwned) std::fclose(FFile);
}

std::string TJournal::Escape(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 32 || c == 127) {
          static const char* hex = "0123456789ABCDEF";
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

void TJournal::Write(const std::string& event, std::initializer_list<std::pair<const char*, std::string>> fields) {
  if (!FFile) return;
  std::string line = event;
  for (const auto& [key, value] : fields) {
    line += ' ';
    line += key;
    line += "=\"";
    line += Escape(value);
    line += '"';
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), FFile);
  // Every line is flushed, so that a journal read after a crash shows what led to it.
  std::fflush(FFile);
}

TJournal& Journal() {
  static TJournal journal;
  return journal;
}

}  // namespace tolvex::host
