// The editor kind registry and its per-dialog manager, with small frame classes of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "editor/Frame_SimImplEditor.h"
#include "editor/SimImplementationEditorManager.h"
#include "model_data/ImplementationData.h"
#include "support/TextUtils.h"

namespace tolvex {
namespace {

// Counts every frame the registry constructs and frees, and what each was given.
struct TFrameLog {
  int Constructed = 0;
  int Destroyed = 0;
  std::vector<std::string> Qualifiers;
  std::vector<std::string> InitCalls;  // which override ran, and what it saw
};
TFrameLog Log;

class TCountingFrame : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TCountingFrame";
  TCountingFrame(TImplementationEditorDialog* owner, TImplementationData* data, const std::string& qualifier)
      : TSimImplEditor(owner, data, qualifier) {
    ++Log.Constructed;
    Log.Qualifiers.push_back(qualifier);
  }
  ~TCountingFrame() override { ++Log.Destroyed; }
  void InitParameters() override { Log.InitCalls.push_back("base"); }
  bool Validate() override { return true; }
  std::string GetNetlistTemplate() override { return {}; }
};

// A second class, so that a look-up can tell which registration it reached.
class TOtherFrame : public TCountingFrame {
 public:
  static constexpr std::string_view ClassName = "TOtherFrame";
  using TCountingFrame::TCountingFrame;
};

// Its InitParameters depends on a field its own constructor sets: it must run on the finished frame.
class TDerivedInitFrame : public TCountingFrame {
 public:
  static constexpr std::string_view ClassName = "TDerivedInitFrame";
  TDerivedInitFrame(TImplementationEditorDialog* owner, TImplementationData* data, const std::string& qualifier)
      : TCountingFrame(owner, data, qualifier), FOwnField("set by the constructor") {}
  void InitParameters() override { Log.InitCalls.push_back("derived: " + FOwnField); }

 private:
  std::string FOwnField;
};

struct TRegistration {
  const char* Kind;
  const char* SubKind;
  TEditorClass EditorClass;
  const char* Qualifier;
};

// Every test starts from, and leaves, an empty registry and a clean log.
class EditorKindRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EditorKindRegistry().empty()) << "an earlier test left registrations behind";
    Log = TFrameLog{};
  }
  void TearDown() override { ReleaseEditorKinds(); }

  static void Register(const std::vector<TRegistration>& rows) {
    for (const TRegistration& row : rows) RegisterEditorKind(row.Kind, row.SubKind, row.EditorClass, row.Qualifier);
  }

  TImplementationData FData{0, 0};
  // The dialog is only handed through to the frames, never used here.
  TImplementationEditorDialog* FDialog = reinterpret_cast<TImplementationEditorDialog*>(&FData);
};

const TEditorClass Counting = EditorClassOf<TCountingFrame>();
const TEditorClass Other = EditorClassOf<TOtherFrame>();

TEST_F(EditorKindRegistryTest, ListsKindsAndSubKindsAlphabeticallyWhateverTheRegistrationOrder) {
  // Pairs where a byte-wise or a kind-then-sub-kind order would differ from the one the dialog shows.
  Register({{"Voltage Source", "Sinusoidal", Counting, "Voltage"},
            {"Transmission Line", "Lossy", Counting, ""},
            {"General", "Resistor(Semiconductor)", Counting, ""},
            {"Voltage Source", "Single-Frequency FM", Counting, "Voltage"},
            {"General", "Coupled Inductors", Counting, ""},
            {"Transistor", "BJT", Counting, ""},
            {"General", "Capacitor(Semiconductor)", Counting, ""},
            {"General", "capacitor(Variable)", Counting, ""},
            {"Current Source", "DC Source", Counting, "Current"},
            {"General", "Resistor", Counting, ""},
            {"General", "Capacitor", Counting, ""},
            {"Current Source", "Current-Controlled", Counting, "Current"},
            {"General", "Diode", Counting, ""}});

  TSimImplementationEditorManager manager(FDialog, &FData);
  EXPECT_EQ(manager.Kinds(), (std::vector<std::string>{"Current Source", "General", "Transistor",
                                                       "Transmission Line", "Voltage Source"}));
  struct TCase {
    const char* Kind;
    std::vector<std::string> SubKinds;
  } cases[] = {
      {"Current Source", {"Current-Controlled", "DC Source"}},
      {"General",
       {"Capacitor", "Capacitor(Semiconductor)", "capacitor(Variable)", "Coupled Inductors", "Diode", "Resistor",
        "Resistor(Semiconductor)"}},
      {"Transistor", {"BJT"}},
      {"Transmission Line", {"Lossy"}},
      {"Voltage Source", {"Single-Frequency FM", "Sinusoidal"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Kind);
    const std::vector<std::string>* subKinds = manager.SubKinds(c.Kind);
    ASSERT_NE(subKinds, nullptr);
    EXPECT_EQ(*subKinds, c.SubKinds);
  }

  // The process-wide list is in key order too.
  std::vector<std::string> keys;
  for (const auto& entry : EditorKindRegistry()) keys.push_back(entry->Kind + ":" + entry->SubKind);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    return UpperCaseAscii(a) < UpperCaseAscii(b);
  }));
  EXPECT_EQ(keys.front(), "Current Source:Current-Controlled");
}

TEST_F(EditorKindRegistryTest, LooksKindsAndSubKindsUpWithoutRegardToAsciiCase) {
  Register({{"General", "Resistor", Other, ""},
            {"General", "Capacitor", Counting, ""},
            {"\xC3\x84nderung", "Sub", Counting, ""}});  // a kind that starts with a non-ASCII letter
  TSimImplementationEditorManager manager(FDialog, &FData);
  TSimImplEditor* resistor = manager.GetEditor("General", "Resistor");
  ASSERT_NE(resistor, nullptr);
  EXPECT_NE(dynamic_cast<TOtherFrame*>(resistor), nullptr);

  enum TFound { fNone, fResistor, fOther };
  struct TCase {
    const char* Name;
    const char* Kind;
    const char* SubKind;
    TFound Found;
  } cases[] = {
      {"lower kind, upper sub-kind", "general", "RESISTOR", fResistor},
      {"mixed case", "gEnErAl", "rEsIsToR", fResistor},
      {"unknown kind", "Transistor", "Resistor", fNone},
      {"unknown sub-kind", "General", "Inductor", fNone},
      {"empty pair", "", "", fNone},
      {"prefix of a sub-kind", "General", "Resist", fNone},
      {"kind and sub-kind swapped", "Resistor", "General", fNone},
      {"only ASCII letters fold", "\xC3\xA4nderung", "Sub", fNone},
      {"non-ASCII letters as written", "\xC3\x84NDERUNG", "sub", fOther},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSimImplEditor* editor = manager.GetEditor(c.Kind, c.SubKind);
    switch (c.Found) {
      case fNone: EXPECT_EQ(editor, nullptr); break;
      case fResistor: EXPECT_EQ(editor, resistor); break;
      case fOther:
        EXPECT_NE(editor, nullptr);
        EXPECT_NE(editor, resistor);
        break;
    }
  }
  EXPECT_NE(manager.SubKinds("GENERAL"), nullptr);
  EXPECT_EQ(manager.SubKinds("Transistor"), nullptr);
  EXPECT_EQ(manager.SubKinds("\xC3\xA4nderung"), nullptr);
  // Failed look-ups construct nothing.
  EXPECT_EQ(Log.Constructed, 2);
}

TEST_F(EditorKindRegistryTest, CreatesOneFramePerRegistrationAndDialogAndFreesThemWithTheManager) {
  Register({{"General", "Resistor", Counting, ""}, {"General", "Capacitor", Counting, ""}});
  {
    TSimImplementationEditorManager manager(FDialog, &FData);
    EXPECT_EQ(Log.Constructed, 0) << "frames are created on demand";
    TSimImplEditor* first = manager.GetEditor("General", "Resistor");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(manager.GetEditor("general", "resistor"), first);
    EXPECT_EQ(first->Owner(), FDialog);
    EXPECT_EQ(first->ImplementationData(), &FData);
    EXPECT_NE(manager.GetEditor("General", "Capacitor"), first);
    EXPECT_EQ(Log.Constructed, 2);
    EXPECT_EQ(Log.Destroyed, 0);
    for (const auto& entry : EditorKindRegistry()) EXPECT_NE(entry->Editor, nullptr) << entry->SubKind;
  }
  EXPECT_EQ(Log.Destroyed, 2);
  for (const auto& entry : EditorKindRegistry()) EXPECT_EQ(entry->Editor, nullptr) << entry->SubKind;

  // The next dialog builds its own frames.
  TSimImplementationEditorManager next(FDialog, &FData);
  EXPECT_NE(next.GetEditor("General", "Resistor"), nullptr);
  EXPECT_EQ(Log.Constructed, 3);
}

TEST_F(EditorKindRegistryTest, OneClassUnderTwoQualifiersGivesTwoFrames) {
  Register({{"Voltage Source", "Pulse", Counting, "Voltage"}, {"Current Source", "Pulse", Counting, "Current"}});
  TSimImplementationEditorManager manager(FDialog, &FData);
  TSimImplEditor* voltage = manager.GetEditor("Voltage Source", "Pulse");
  TSimImplEditor* current = manager.GetEditor("Current Source", "Pulse");
  ASSERT_NE(voltage, nullptr);
  ASSERT_NE(current, nullptr);
  EXPECT_NE(voltage, current);
  EXPECT_EQ(voltage->Qualifier(), "Voltage");
  EXPECT_EQ(current->Qualifier(), "Current");
  EXPECT_EQ(Log.Qualifiers, (std::vector<std::string>{"Voltage", "Current"}));
}

TEST_F(EditorKindRegistryTest, APairRegisteredTwiceIsKeptTwiceAndTheEarlierRegistrationAnswers) {
  // The later one differs in case, class and qualifier, so that each can be told apart.
  Register({{"General", "Resistor", Counting, "first"},
            {"General", "Diode", Counting, ""},
            {"GENERAL", "RESISTOR", Other, "second"}});
  std::vector<std::string> registered;
  for (const auto& entry : EditorKindRegistry()) registered.push_back(entry->SubKind + "/" + entry->Qualifier);
  EXPECT_EQ(registered, (std::vector<std::string>{"Diode/", "Resistor/first", "RESISTOR/second"}));
  TSimImplementationEditorManager manager(FDialog, &FData);
  EXPECT_EQ(manager.Kinds(), std::vector<std::string>{"General"});
  ASSERT_NE(manager.SubKinds("General"), nullptr);
  EXPECT_EQ(*manager.SubKinds("General"), (std::vector<std::string>{"Diode", "Resistor", "RESISTOR"}));
  for (const char* subKind : {"Resistor", "RESISTOR", "resistor"}) {
    SCOPED_TRACE(subKind);
    TSimImplEditor* editor = manager.GetEditor("General", subKind);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Qualifier(), "first");
    EXPECT_EQ(dynamic_cast<TOtherFrame*>(editor), nullptr);
  }
  EXPECT_EQ(Log.Constructed, 1);
}

TEST_F(EditorKindRegistryTest, InitParametersRunsOnceOnTheFinishedMostDerivedFrame) {
  Register({{"General", "Derived", EditorClassOf<TDerivedInitFrame>(), ""}, {"General", "Base", Counting, ""}});
  TSimImplementationEditorManager manager(FDialog, &FData);
  ASSERT_NE(manager.GetEditor("General", "Derived"), nullptr);
  ASSERT_NE(manager.GetEditor("General", "Derived"), nullptr);
  ASSERT_NE(manager.GetEditor("General", "Base"), nullptr);
  EXPECT_EQ(Log.InitCalls, (std::vector<std::string>{"derived: set by the constructor", "base"}));
}

TEST_F(EditorKindRegistryTest, TheClassReferenceNamesItsClass) {
  EXPECT_EQ(Counting.ClassName, "TCountingFrame");
  EXPECT_EQ(EditorClassOf<TDerivedInitFrame>().ClassName, "TDerivedInitFrame");
  EXPECT_NE(Counting.Create, Other.Create);
}

TEST_F(EditorKindRegistryTest, ReleaseEmptiesTheRegistryAndAnEmptyOneListsNothing) {
  Register({{"General", "Resistor", Counting, ""}, {"Switch", "Voltage-Controlled", Counting, ""}});
  ReleaseEditorKinds();
  EXPECT_TRUE(EditorKindRegistry().empty());
  TSimImplementationEditorManager manager(FDialog, &FData);
  EXPECT_TRUE(manager.Kinds().empty());
  EXPECT_EQ(manager.SubKinds("General"), nullptr);
  EXPECT_EQ(manager.GetEditor("General", "Resistor"), nullptr);
  EXPECT_EQ(manager.DefaultKind(), "General");
  EXPECT_EQ(manager.DefaultSubKind(), "Generic Editor");
  EXPECT_EQ(Log.Constructed, 0);
}

}  // namespace
}  // namespace tolvex
