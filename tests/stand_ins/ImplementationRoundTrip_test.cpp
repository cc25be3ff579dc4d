// Loading and saving every component's implementation through the real schematic server
// leaves the document file semantically unchanged.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "host/SchServerApi.h"
#include "model_data/ImplementationData.h"
#include "schematic_server/Pravik.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;

void* PravikModule() {
  static void* module = dlopen(PRAVIK_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
  return module;
}

void* ResolvePravik(const char* name) { return dlsym(PravikModule(), name); }

nlohmann::json ReadJson(const fs::path& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

class ImplementationRoundTrip : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PravikModule()) << dlerror();
    SchServer().Bind(&ResolvePravik);
  }
  void TearDown() override {
    reinterpret_cast<TPravik_CloseAll>(ResolvePravik("Pravik_CloseAll"))();
    SchServer().Clear();
  }
};

TEST_P(ImplementationRoundTrip, LoadAndSaveChangeNothing) {
  const fs::path source = fs::path(TOLVEX_TEST_DATA_DIR) / "schematics" / GetParam();
  const fs::path copy = fs::temp_directory_path() / ("tolvex-roundtrip-" + std::string(GetParam()));
  fs::copy_file(source, copy, fs::copy_options::overwrite_existing);

  char error[1024] = {};
  const THandle document = reinterpret_cast<TPravik_OpenDocument>(ResolvePravik("Pravik_OpenDocument"))(
      copy.string().c_str(), error, sizeof error);
  ASSERT_NE(document, 0) << error;
  auto findComponent = reinterpret_cast<TPravik_FindComponent>(ResolvePravik("Pravik_FindComponent"));
  const nlohmann::json original = ReadJson(copy);
  int saved = 0;
  for (const auto& component : original.value("components", nlohmann::json::array())) {
    if (!component.contains("designator") || !component.contains("implementations")) continue;
    const std::string designator =
        component["designator"].is_string() ? component["designator"].get<std::string>()
                                            : component["designator"].value("value", std::string());
    THandle handle = 0, implementation = 0;
    ASSERT_TRUE(findComponent(document, designator.c_str(), &handle, &implementation)) << designator;
    if (!implementation) continue;
    SCOPED_TRACE(designator);
    TImplementationData data(implementation, handle);
    data.Load();
    data.SetEditedParameters(data.LoadedParameters());
    data.Save();
    ++saved;
  }
  ASSERT_GT(saved, 0);
  ASSERT_TRUE(reinterpret_cast<TPravik_SaveDocument>(ResolvePravik("Pravik_SaveDocument"))(document, "", error,
                                                                                             sizeof error))
      << error;
  nlohmann::json expected = original;
  const nlohmann::json after = ReadJson(copy);
  // Without a model file looked up, an implementation keeps no data-file link: the one
  // change a save makes, and only to the implementations that were edited (the first ones).
  for (auto& component : expected["components"]) {
    auto implementations = component.find("implementations");
    if (implementations == component.end() || implementations->empty()) continue;
    auto& first = implementations->front();
    if (first.contains("datafiles")) first["datafiles"] = nlohmann::json::array();
  }
  EXPECT_EQ(after, expected) << "before:\n" << original.dump(2) << "\nafter:\n" << after.dump(2);
  fs::remove(copy);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ImplementationRoundTrip, ::testing::Values("rc_filter.SchDoc", "every_attribute.SchDoc"));

}  // namespace
}  // namespace tolvex
