// The relay's dump: its place beside the netlist, its number format and its lines without a viewer.
#include "engine_api/WaveformRelay.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/FakeHost.h"

namespace tolvex {
namespace {

std::string NetlistForTest;
std::string TestNetlist() { return NetlistForTest; }

TEST(DumpNumberFormat, EightSignificantDigitsAndTwoExponentDigits) {
  struct TCase {
    double Value;
    char Separator;
    const char* Text;
  } cases[] = {
      {1.5, '.', "1.5000000E+00"},      {-0.0025, '.', "-2.5000000E-03"},  {0.0, '.', "0.0000000E+00"},
      {-0.0, '.', "0.0000000E+00"},     {0.001, '.', "1.0000000E-03"},     {2.5, ',', "2,5000000E+00"},
      {1e-300, '.', "1.0000000E-300"},  {123456789.0, '.', "1.2345679E+08"}, {9.999999995, '.', "1.0000000E+01"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatDumpNumber(c.Value, c.Separator), c.Text);
  }
}

TEST(DumpPath, ExtensionReplacedOrAppendedAndNeverCut) {
  test::TFakeHostExports exports;
  const std::string bare255 = "/w/" + std::string(252, 'a');
  struct TCase {
    std::string Netlist;
    std::string Dump;  // "<none>" when the path does not fit its field
  } cases[] = {
      {"/work/amp.nsx", "/work/amp.txt"},
      {"/work/amp", "/work/amp.txt"},
      {"/work.d/amp", "/work.d/amp.txt"},
      {"/work/amp.v2.nsx", "/work/amp.v2.txt"},
      // Cut to 255 characters, these would name the netlist itself or another file.
      {"/w/" + std::string(300, 'a') + ".nsx", "<none>"},
      {bare255, "<none>"},
      {bare255.substr(0, 251), bare255.substr(0, 251) + ".txt"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Netlist);
    EXPECT_EQ(DumpPathFor(c.Netlist).value_or("<none>"), c.Dump);
  }
  EXPECT_EQ(WholeDumpPathFor(bare255), bare255 + ".txt");
}

TEST(DumpFailure, ADumpThatCannotBeCreatedIsToldOnceWithItsPath) {
  ClearViewerFunctions();
  const auto folder = std::filesystem::temp_directory_path() / "tolvex-relay-failure-test";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "amp.txt");
  NetlistForTest = (folder / "amp.nsx").string();
  SetRelayNetlistSource(&TestNetlist);
  TakeDumpFailure();

  OndulixAPI_SetDocumentName(1, "amp");
  OndulixAPI_NewChart(1, "Transient", 0, 0, 0);
  OndulixAPI_DataComplete(1, 1, 0);
  EXPECT_EQ(TakeDumpFailure(), "Could not create the dump file " + (folder / "amp.txt").string() + ": Is a directory");
  EXPECT_EQ(TakeDumpFailure(), "");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "amp.txt"));
  SetRelayNetlistSource(nullptr);
  std::filesystem::remove_all(folder);
}

TEST(DumpPath, AVirtualNetlistDumpsBesideItsFileOnDisk) {
  test::TFakeHostExports exports;
  exports.IsVirtual = [](const std::string& p) { return p.rfind("vfs:", 0) == 0; };
  exports.ExternalPath = [](const std::string& p) { return "/disk/cache/" + p.substr(p.find_last_of(':') + 1); };
  exports.Rebind();
  EXPECT_EQ(DumpPathFor("vfs:project/amp.nsx"), "/disk/cache/project/amp.txt");
}


TEST(DumpWithoutViewer, EveryExportStillWritesItsLineAndLaterLinesAreDropped) {
  ClearViewerFunctions();
  const auto folder = std::filesystem::temp_directory_path() / "tolvex-relay-test";
  std::filesystem::create_directories(folder);
  NetlistForTest = (folder / "amp.nsx").string();
  SetRelayNetlistSource(&TestNetlist);

  EXPECT_EQ(OndulixAPI_GetCurrentWindow(), 0);
  OndulixAPI_SetDocumentName(1, "amp");
  EXPECT_EQ(OndulixAPI_Chart_Create(1, "Transient", 0, 0, 0), 0);
  EXPECT_EQ(OndulixAPI_NewChart(1, "Transient", 0, 0, 0), 0);
  OndulixAPI_Chart_FormatXAxis(1, 1, 0, 0, 0, 0.0, 1.0);
  EXPECT_EQ(OndulixAPI_NewWaveform(1, 1, "v(out)", 0, 0, 0, 0, 0), 0);
  OndulixAPI_NewDataPoint(1, 1, 3, 0.001, 0, 2.5, 0);
  OndulixAPI_UpdateChart(1, 1);
  OndulixAPI_DataComplete(1, 1, 0);
  OndulixAPI_NewDataPoint(1, 1, 3, 1, 1, 1, 1);
  SetRelayNetlistSource(nullptr);

  std::ifstream in(folder / "amp.txt", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "Dump For: AMP\r\n"
            "OndulixAPI_NewChart -> Chart:Transient\r\n"
            "OndulixAPI_NewChart -> Chart:Transient\r\n"
            "OndulixAPI_InitializeXAxis -> Chart:\r\n"
            "OndulixAPI_NewWaveform -> WaveName:v(out) Chart:\r\n"
            "OndulixAPI_NewDataPoint () -> RX:1.0000000E-03 IX:0.0000000E+00 RY:2.5000000E+00 IY:0.0000000E+00 "
            "WaveIndex:3 WaveName: Chart:\r\n"
            "OndulixAPI_UpdateChart -> Chart:\r\n"
            "OndulixAPI_DataComplete\r\n");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvex
