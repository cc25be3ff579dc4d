// A parameter list as plain rows (name, value, component level) for tests to compare with literal tables.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_data/ImplementationData.h"

namespace tolvex::test {

struct TParameterRow {
  std::string Name;
  std::string Value;
  bool ComponentLevel;
};

inline std::vector<TParameterRow> Rows(const TParameterDataList& list) {
  std::vector<TParameterRow> rows;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const TParameterData* data = list.GetData(i);
    rows.push_back({data->FName, data->FValue, data->FComponentLevel});
  }
  return rows;
}

inline void ExpectRows(const TParameterDataList& list, const std::vector<TParameterRow>& expected) {
  const std::vector<TParameterRow> actual = Rows(list);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(actual[i].Name, expected[i].Name);
    EXPECT_EQ(actual[i].Value, expected[i].Value);
    EXPECT_EQ(actual[i].ComponentLevel, expected[i].ComponentLevel);
  }
}

}  // namespace tolvex::test
