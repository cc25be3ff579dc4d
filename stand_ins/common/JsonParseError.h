// What the stand-ins that read JSON files need to say where a malformed file goes wrong.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace tolvex::standins {

// The detail of one of nlohmann's parse errors without its own place: the text is
// "[json.exception.parse_error.101] parse error at line L, column C: detail", and the place
// is given in the file's own terms instead.
inline std::string ParseErrorDetail(const std::string& what) {
  const std::size_t at = what.find("parse error");
  if (at == std::string::npos) return what;
  const std::size_t colon = what.find(": ", at);
  return colon == std::string::npos ? what : what.substr(colon + 2);
}

// Only the parse error matters here: where the parser stopped (just after the token it could
// not take) and the token text it tells.
template <class TJson>
class TJsonErrorPlace final : public nlohmann::json_sax<TJson> {
 public:
  using typename nlohmann::json_sax<TJson>::number_integer_t;
  using typename nlohmann::json_sax<TJson>::number_unsigned_t;
  using typename nlohmann::json_sax<TJson>::number_float_t;
  using typename nlohmann::json_sax<TJson>::string_t;
  using typename nlohmann::json_sax<TJson>::binary_t;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string& lastToken, const nlohmann::detail::exception&) override {
    Position = position;
    LastToken = lastToken;
    return false;
  }

  std::size_t Position = 0;
  std::string LastToken;
};

}  // namespace tolvex::standins
