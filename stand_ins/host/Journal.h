// The host's journal: one line per event the host observes, in a stable format.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

namespace tolvex::host {

class TJournal {
 public:
  // Path "-" writes to standard output; an empty path writes nothing.
  bool Open(const std::string& path);
  ~TJournal();
  // Writes: Event key="value" ... with values quoted and escaped.
  void Write(const std::string& event, std::initializer_list<std::pair<const char*, std::string>> fields = {});
  static std::string Escape(const std::string& value);

 private:
  std::FILE* FFile = nullptr;
  bool FOwned = false;
};

TJournal& Journal();

}  // namespace tolvex::host
