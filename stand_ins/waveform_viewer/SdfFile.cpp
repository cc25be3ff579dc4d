// Writing the "SimData" waveform file: one header line per document, chart, x axis and wave, then a
// line per point, in numbers that read back to the very same doubles.
#include "SdfFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tolvex::ondulix {

namespace {

// Appends Value to Buffer; room for the longest double (24 characters) is the caller's.
char* PutNumber(char* buffer, char* end, double value) {
  if (std::isnan(value)) {
    // The sign of a NaN means nothing to a reader; one spelling keeps files comparable.
    static constexpr char kNan[] = "nan";
    for (const char c : std::string_view(kNan)) *buffer++ = c;
    return buffer;
  }
  // Shortest round-trip form in the C locale: the process's decimal separator never reaches the file.
  return std::to_chars(buffer, end, value).ptr;
}

}  // namespace

std::string FormatSdfNumber(double value) {
  char buffer[64];
  return std::string(buffer, PutNumber(buffer, buffer + sizeof buffer, value));
}

std::string QuoteSdfText(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 32 || c == 127) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

bool WriteSdf(std::ostream& out, const std::string& documentName, const std::vector<const TChartData*>& charts) {
  // Integers go through std::to_string and numbers through to_chars, never through the stream's
  // own formatting, whose locale might group digits ("points=1.000") or move the decimal point.
  using std::to_string;
  std::string text = std::string(kSdfMagic) + " " + to_string(kSdfVersion) + "\n";
  text += "# Waveforms written by the viewer; format in docs/waveform-viewer.md\n";
  text += "document name=" + QuoteSdfText(documentName) + "\n";
  out << text;
  for (const TChartData* chart : charts) {
    if (!chart) continue;
    text = "chart name=" + QuoteSdfText(chart->Name) + " a=" + to_string(chart->A) + " b=" + to_string(chart->B) +
           " c=" + to_string(chart->C) + " updates=" + to_string(chart->UpdateCount) + "\n";
    const TXAxisData& axis = chart->XAxis;
    text += "x-axis name=" + QuoteSdfText(axis.Name) + " unit=" + QuoteSdfText(axis.Unit) +
            " formatted=" + (axis.Formatted ? "1" : "0") + " from=" + FormatSdfNumber(axis.From) +
            " to=" + FormatSdfNumber(axis.To) + " a=" + to_string(axis.A) + " b=" + to_string(axis.B) +
            " c=" + to_string(axis.C) + "\n";
    out << text;
    for (const TWaveData& wave : chart->Waves) {
      const bool complex = wave.IsComplex();
      text = "wave name=" + QuoteSdfText(wave.Name) + " unit=" + QuoteSdfText(wave.YUnit) +
             " values=" + (complex ? "complex" : "real") + " points=" + to_string(wave.Size()) +
             " a=" + to_string(wave.A) + " b=" + to_string(wave.B) + " c=" + to_string(wave.C) +
             " d=" + to_string(wave.D) + " e=" + to_string(wave.E) + "\n";
      out << text;
      // Point lines are composed in a local buffer: a million of them through the stream's
      // formatting would cost more than the rest of the run.
      char line[160];
      char* const end = line + sizeof line;
      for (std::size_t i = 0; i < wave.Size(); ++i) {
        char* p = PutNumber(line, end, wave.X[i]);
        *p++ = ' ';
        if (complex) {
          p = PutNumber(p, end, wave.XImag(i));
          *p++ = ' ';
          p = PutNumber(p, end, wave.Y[i]);
          *p++ = ' ';
          p = PutNumber(p, end, wave.YImag(i));
        } else {
          p = PutNumber(p, end, wave.Y[i]);
        }
        *p++ = '\n';
        out.write(line, p - line);
      }
      if (!out) return false;
    }
  }
  out << "end\n";
  out.flush();
  return static_cast<bool>(out);
}

bool WriteSdf(std::ostream& out, const TWaveformDocument& document) {
  std::vector<const TChartData*> charts;
  charts.reserve(document.Charts.size());
  for (const TChartData& chart : document.Charts) charts.push_back(&chart);
  return WriteSdf(out, document.DocumentName, charts);
}

}  // namespace tolvex::ondulix
