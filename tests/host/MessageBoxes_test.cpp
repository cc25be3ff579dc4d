// The four message boxes: what each shows, how answers map to results, and who owns them.
#include "host/MessageBoxes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::FakeClient;
using test::TScopedMessageBoxes;
using test::TScopedModuleClient;

// A helper under test; the two that show a notice report false.
using THelper = std::function<bool(const std::string&)>;

struct THelperCase {
  const char* Name;
  THelper Show;
  const char* Caption;
  ui::TMessageBoxIcon Icon;
  ui::TMessageBoxButtons Buttons;
  ui::TModalResult Default;
  ui::TModalResult Escape;
};

const std::vector<THelperCase>& Helpers() {
  static const std::vector<THelperCase> helpers = {
      {"ShowError", [](const std::string& t) {
         ShowError(t);
         return false;
       }, "Halvenmoor Error", ui::mbiError,
       ui::mbbOk, ui::mrOk, ui::mrOk},
      {"ShowInformation", [](const std::string& t) {
         ShowInformation(t);
         return false;
       }, "Halvenmoor Information",
       ui::mbiInformation, ui::mbbOk, ui::mrOk, ui::mrOk},
      {"ConfirmYesNo", &ConfirmYesNo, "Confirm", ui::mbiQuestion, ui::mbbYesNo, ui::mrYes, ui::mrNo},
      {"ConfirmOkCancel", &ConfirmOkCancel, "Confirm", ui::mbiQuestion, ui::mbbOkCancel, ui::mrOk, ui::mrCancel},
  };
  return helpers;
}

TEST(MessageBoxes, EachHelperShowsItsCaptionIconAndButtons) {
  for (const THelperCase& h : Helpers()) {
    SCOPED_TRACE(h.Name);
    TScopedMessageBoxes boxes;
    h.Show("Netlist written.");
    ASSERT_EQ(boxes.Records().size(), 1u);
    const auto& box = boxes.Records()[0].Box;
    EXPECT_EQ(box.Caption, h.Caption);
    EXPECT_EQ(box.Text, "Netlist written.");
    EXPECT_EQ(box.Icon, h.Icon);
    EXPECT_EQ(box.Buttons, h.Buttons);
    EXPECT_EQ(box.DefaultButton, h.Default);
    EXPECT_EQ(box.EscapeButton, h.Escape);
  }
}

TEST(MessageBoxes, ConfirmationsMapTheAnswerToTheirResult) {
  struct TCase {
    const char* Name;
    THelper Confirm;
    std::vector<ui::TModalResult> Script;  // empty: the user presses Enter on the default button
    bool Expected;
  };
  const TCase cases[] = {
      {"Yes/No: default", &ConfirmYesNo, {}, true},
      {"Yes/No: Yes", &ConfirmYesNo, {ui::mrYes}, true},
      {"Yes/No: No", &ConfirmYesNo, {ui::mrNo}, false},
      {"Yes/No: closed (Escape)", &ConfirmYesNo, {ui::mrCancel}, false},
      {"OK/Cancel: default", &ConfirmOkCancel, {}, true},
      {"OK/Cancel: OK", &ConfirmOkCancel, {ui::mrOk}, true},
      {"OK/Cancel: Cancel", &ConfirmOkCancel, {ui::mrCancel}, false},
      {"OK/Cancel: closed (Escape)", &ConfirmOkCancel, {ui::mrNone}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScopedMessageBoxes boxes;
    for (ui::TModalResult answer : c.Script) boxes.QueueAnswer(answer);
    EXPECT_EQ(c.Confirm("Delete the old output?"), c.Expected);
    EXPECT_EQ(boxes.Records().size(), 1u);
  }
}

TEST(MessageBoxes, AmpersandsAreShownAsWritten) {
  struct TCase {
    const char* Text;
    const char* Shown;
  };
  const TCase cases[] = {
      {"R&D", "R&&D"}, {"&", "&&"}, {"a && b", "a &&&& b"}, {"&start and end&", "&&start and end&&"},
      {"plain", "plain"}, {"", ""},
  };
  for (const THelperCase& h : Helpers()) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << h.Name << ": \"" << c.Text << "\"");
      TScopedMessageBoxes boxes;
      h.Show(c.Text);
      ASSERT_EQ(boxes.Records().size(), 1u);
      EXPECT_EQ(boxes.Records()[0].Box.Text, c.Shown);
    }
  }
}

TEST(MessageBoxes, TheHostsMainWindowOwnsEveryBox) {
  for (const THelperCase& h : Helpers()) {
    SCOPED_TRACE(h.Name);
    FakeClient client;
    client.MainWindow = 0x4D41;
    {
      TScopedModuleClient moduleClient(&client);
      TScopedMessageBoxes boxes;
      h.Show("x");
      ASSERT_EQ(boxes.Records().size(), 1u);
      EXPECT_EQ(boxes.Records()[0].Box.Owner, 0x4D41);
      EXPECT_EQ(client.References(), 1) << "the box kept a reference to the client";
    }
    // Without a client there is no owner, and still a box.
    TScopedMessageBoxes boxes;
    h.Show("x");
    ASSERT_EQ(boxes.Records().size(), 1u);
    EXPECT_EQ(boxes.Records()[0].Box.Owner, 0);
  }
}

}  // namespace
}  // namespace tolvex
