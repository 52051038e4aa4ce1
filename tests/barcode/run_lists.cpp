#include "run_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace vantrel::bcdtest {

RunLine FromWidths(const Widths& w) {
  RunLine r;
  const size_t darks = w.size() / 2;
  const bool endsDark = !w.empty() && w.size() % 2 == 0;
  r.k = static_cast<int32_t>(endsDark ? darks - 1 : darks);
  r.S.assign(static_cast<size_t>(r.k) + 3, 0.0f);
  r.B.assign(static_cast<size_t>(r.k) + 2, 0.0f);
  double sum = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    if (i % 2 == 0) r.S[i / 2] = w[i];
    else r.B[i / 2] = w[i];
    sum += w[i];
  }
  r.n = static_cast<int32_t>(std::lround(sum));
  return r;
}

Widths ElementsOf(const test::ModuleMatrix& m) {
  Widths out;
  int32_t x = 0;
  while (x < m.width) {
    const bool dark = m.At(x, 0);
    int32_t run = 0;
    while (x < m.width && m.At(x, 0) == dark) {
      ++x;
      ++run;
    }
    out.push_back(static_cast<float>(run));
  }
  return out;
}

Widths ZintElements(const std::vector<std::string>& options, const std::string& data) {
  test::ModuleMatrix m;
  std::string error;
  const bool ok = test::ZintModules(options, data, &m, &error);
  EXPECT_TRUE(ok) << error;
  if (!ok) return {};
  EXPECT_EQ(m.height, 1);
  return ElementsOf(m);
}

Widths Line(const Widths& elements, float module, float lead, float trail) {
  Widths w{lead};
  for (float e : elements) w.push_back(e * module);
  w.push_back(trail);
  return w;
}

Widths Reversed(Widths w) {
  const bool endsDark = w.size() % 2 == 0;
  std::reverse(w.begin(), w.end());
  if (endsDark) w.insert(w.begin(), 0.0f);  // it now starts dark
  return w;
}

Widths Concat(const Widths& a, const Widths& b) {
  Widths w = a;
  if (!w.empty() && !b.empty()) {
    w.back() += b.front();
    w.insert(w.end(), b.begin() + 1, b.end());
  } else {
    w.insert(w.end(), b.begin(), b.end());
  }
  return w;
}

OvoBcdParams AllOn() { return OvoBcdParams{1, 1, 1, 1, 48, 0, 1, 1, 48, 0, 1, 1, 48, 0, 1, 1, 48, 0}; }

OvoBcdParams Only(int32_t type) {
  OvoBcdParams p = AllOn();
  p.JAN8 = type == OVOBCD_JAN8;
  p.JAN13 = type == OVOBCD_JAN13;
  p.ITF = type == OVOBCD_ITF;
  p.CODE39 = type == OVOBCD_CODE39;
  p.CODE128 = type == OVOBCD_CODE128;
  p.NW7 = type == OVOBCD_NW7;
  return p;
}

namespace {

Read Collect(const bcd::BcdDecoder& d, int32_t accepted) {
  Read r;
  r.accepted = accepted;
  if (!accepted) return r;
  r.type = d.type;
  r.length = d.length;
  r.text.assign(d.text, static_cast<size_t>(std::clamp(d.length, 0, 48)));
  r.startPos = d.startPos;
  r.endPos = d.endPos;
  return r;
}

}  // namespace

Read RunOne(DecoderFn fn, const Widths& w, const OvoBcdParams& params) {
  RunLine line = FromWidths(w);
  bcd::BcdDecoder d(params);
  d.spaces = line.S.data();
  d.bars = line.B.data();
  return Collect(d, fn(d, line.k));
}

Read RunAll(const Widths& w, const OvoBcdParams& params) {
  RunLine line = FromWidths(w);
  bcd::BcdDecoder d(params);
  d.spaces = line.S.data();
  d.bars = line.B.data();
  return Collect(d, bcd::DecodeRuns(d, line.n, line.k));
}

Read RunAllRobust(const Widths& w, const OvoBcdParams& params) {
  RunLine line = FromWidths(w);
  bcd::BcdDecoder d(params);
  d.spaces = line.S.data();
  d.bars = line.B.data();
  return Collect(d, bcd::DecodeRunsRobust(d, line.n, line.k));
}

}  // namespace vantrel::bcdtest
