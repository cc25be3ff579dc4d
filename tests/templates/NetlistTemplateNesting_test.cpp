// Templates far longer than a stored one (the editor's template box takes any length): nested sections must
// neither exhaust the stack nor copy the rest of the template once per level.
#include <pthread.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model_data/ImplementationData.h"
#include "templates/NetlistTemplateParser.h"

namespace tolvex {
namespace {

class TConstantParser final : public TAbstractNetlistTemplateParser {
 public:
  TConstantParser(const std::string& text, std::vector<std::string>* errors)
      : TAbstractNetlistTemplateParser(text, false, {}, errors) {}

 protected:
  std::unique_ptr<TAbstractNetlistTemplateToken> CreateToken() override {
    return std::make_unique<TAbstractNetlistTemplateToken>(this);
  }
  std::unique_ptr<TAbstractNetlistTemplateParser> CreateSubParser(const std::string& text) override {
    return std::make_unique<TConstantParser>(text, FErrors);
  }
  std::string GetPinNet(const std::string&, const TParameterDataList*) override { return "N"; }
  std::string GetParameterValue(const std::string&) override { return "v"; }
};

struct TRun {
  std::string Template;
  std::vector<std::string> Lines;
  std::vector<std::string> Messages;
};

void* ParseAndExpand(void* argument) {
  auto* run = static_cast<TRun*>(argument);
  TConstantParser parser(run->Template, &run->Messages);
  parser.Parse();
  parser.Expand(run->Lines, nullptr);
  return nullptr;
}

// The host's user-interface thread has a stack of 1 MB on Windows; sanitizers make every frame several times
// larger, so their builds get more.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kStackSize = 8u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::size_t kStackSize = 8u << 20;
#else
constexpr std::size_t kStackSize = 1u << 20;
#endif
#else
constexpr std::size_t kStackSize = 1u << 20;
#endif

TEST(NetlistTemplateNesting, ThousandsOfNestedSectionsParseOnTheHostsStack) {
  TRun run;
  // 8,000 sections, each the rest of the one before: 32 KB, as a paste into the template box can be.
  for (int i = 0; i < 8000; ++i) run.Template += "#|x|";
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kStackSize), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, &ParseAndExpand, &run), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  // Every section's rest ends in an empty one, so each produces nothing: one empty line.
  EXPECT_EQ(run.Lines, std::vector<std::string>{""});
}

}  // namespace
}  // namespace tolvex
