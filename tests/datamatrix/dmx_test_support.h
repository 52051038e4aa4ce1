// What the Data Matrix reader's tests share: a reader started afresh for each
// test, zint symbols, and long digit strings that fill large symbols.
#ifndef VANTREL_TESTS_DATAMATRIX_DMX_TEST_SUPPORT_H
#define VANTREL_TESTS_DATAMATRIX_DMX_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "datamatrix/src/dmx_internal.h"
#include "symbol_render.h"
#include "vantrel/OvoDmx.h"

namespace vantrel::test {

// The station's text buffers.
constexpr int32_t kTextBytes = 4196;

// Each test works on a reader with the library's defaults.
class DmxReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OvoDmxTerminate();
    ASSERT_EQ(OvoDmxInitialize(), 0);
    reader_ = OvoDmxGetReader();
    ASSERT_NE(reader_, nullptr);
  }
  void TearDown() override { OvoDmxTerminate(); }

  CDataMatCtrl* reader_ = nullptr;
};

// zint's Data Matrix for `data`, with further zint options.
inline ModuleMatrix DmxSymbol(const std::vector<std::string>& options, const std::string& data) {
  std::vector<std::string> all = {"-b", "DATAMATRIX"};
  all.insert(all.end(), options.begin(), options.end());
  ModuleMatrix m;
  std::string error;
  EXPECT_TRUE(ZintModules(all, data, &m, &error)) << error;
  return m;
}

// n digits in a pattern that does not repeat soon.
inline std::string Digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + (i * 7 + i / 10) % 10);
  return s;
}

}  // namespace vantrel::test

#endif
