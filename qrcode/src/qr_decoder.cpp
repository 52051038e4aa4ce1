// The decoding loop.
//
// Versions 1 to 6 have at most one alignment pattern to steer the bottom-right
// corner, so they get up to 81 attempts with that corner moved around its
// predicted place in half-module steps; larger versions have one attempt. A
// decoded symbol consumes its three finders and every finder candidate near
// them (the same pattern found twice, a spurious partner), even when the
// symbol is then dropped, so that no symbol is tried twice in one decode.
// The attempts of one decode share a budget of sampled modules and one of
// correction work; when either is spent the loop ends with the symbols decoded
// so far.
#include "qr_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "qr_candidates.h"
#include "qr_codewords.h"
#include "qr_finder.h"
#include "qr_geometry.h"
#include "qr_segments.h"

namespace vantrel::qr {

namespace {

constexpr float kAttemptOffsets[9] = {0, 0.5f, -0.5f, 1, -1, 1.5f, -1.5f, 2, -2};

QrPoint CentreOf(const QrFinder& f) { return {f.x, f.y}; }

// Marks every unused finder closer to a decoded finder's centre than a quarter
// of that finder's shorter diagonal.
void ConsumeNearby(std::vector<QrFinder>* finders, const QrCandidate& cand) {
  const QrPoint* P = cand.P;
  const QrPoint centres[3] = {CentreOf((*finders)[cand.finderA]), CentreOf((*finders)[cand.finderB]),
                              CentreOf((*finders)[cand.finderC])};
  const float radii[3] = {
      0.25f * std::min(Distance(P[0], P[2]), Distance(P[1], P[3])),
      0.25f * std::min(Distance(P[4], P[6]), Distance(P[5], P[7])),
      0.25f * std::min(Distance(P[8], P[10]), Distance(P[9], P[11])),
  };
  for (QrFinder& f : *finders) {
    if (f.used) continue;
    for (int32_t i = 0; i < 3; ++i)
      if (Distance(CentreOf(f), centres[i]) < radii[i]) {
        f.used = 1;
        break;
      }
  }
}

}  // namespace

bool IsDuplicateResult(const std::vector<QrResult>& results, const QrResult& r) {
  static constexpr int32_t kCompared[6] = {0, 1, 2, 3, 6, 7};  // corners 0, 1 and 3
  for (const QrResult& old : results) {
    bool close = true;
    for (int32_t i : kCompared)
      if (std::abs(static_cast<int64_t>(old.corners[i]) - r.corners[i]) >= 21) {
        close = false;
        break;
      }
    if (close) return true;
  }
  return false;
}

bool Attempt(QrDecodeContext* ctx, const QrCandidate& cand, int32_t* dataCount) {
  LayFunctionMap(cand.version, &ctx->matrix);
  SampleGrid(ctx->image, ctx->grid, &ctx->matrix);
  Unmask(ctx->grid.N, cand.mask, &ctx->matrix);
  return ReadCodewords(ctx->matrix, cand.version, cand.level, ctx->codewords, ctx->scratch, &ctx->rs,
                       dataCount);
}

int32_t DecodeCandidates(QrDecodeContext* ctx) {
  std::vector<QrFinder>& finders = ctx->finders;
  for (const QrCandidate& cand : ctx->candidates) {
    if (finders[cand.finderA].used || finders[cand.finderB].used || finders[cand.finderC].used)
      continue;
    // Version 0 can come only from the estimates; such a symbol cannot exist.
    if (cand.version < 1 || cand.version > kMaxVersion) continue;

    BuildGrid(ctx->image, cand, &ctx->grid);
    const int64_t modules = int64_t{ctx->grid.N} * ctx->grid.N;
    int32_t dataCount = 0;
    bool decoded = false, spent = false;
    const int32_t offsets = cand.version >= 7 ? 1 : 9;
    for (int32_t i = 0; i < offsets && !decoded && !spent; ++i)
      for (int32_t j = 0; j < offsets && !decoded; ++j) {
        if (ctx->sampledModules + modules > kSampledModuleBudget) {
          spent = true;
          break;
        }
        ctx->sampledModules += modules;
        if (i != 0 || j != 0) AdjustBottomRight(&ctx->grid, kAttemptOffsets[i], kAttemptOffsets[j]);
        decoded = Attempt(ctx, cand, &dataCount);
        if (!decoded && ctx->rs.Exhausted()) {
          spent = true;
          break;
        }
      }
    if (spent) break;
    if (!decoded) continue;

    finders[cand.finderA].used = finders[cand.finderB].used = finders[cand.finderC].used = 1;
    ConsumeNearby(&finders, cand);

    QrResult result;
    result.version = cand.version;
    result.level = cand.level;
    const int32_t corners[8] = {QrRound(cand.P[0].x),  QrRound(cand.P[0].y), QrRound(cand.P[5].x),
                                QrRound(cand.P[5].y),  ctx->grid.corner[0],  ctx->grid.corner[1],
                                QrRound(cand.P[11].x), QrRound(cand.P[11].y)};
    std::copy(corners, corners + 8, result.corners);
    if (IsDuplicateResult(ctx->results, result)) continue;

    const int32_t mode = ctx->codewords[0] >> 4;
    if (!IsKnownFirstMode(mode, ctx->extendedData)) continue;
    const bool header = mode == 3;
    if (ctx->extendedData) {
      QrContent content;
      if (!DecodeSegmentsExtended(ctx->codewords, dataCount, cand.version, header, result.data,
                                  kMaxConvertedBytes, &result.length, &content))
        continue;
      result.modifier = content.modifier;
      result.encoding = content.encoding;
    } else if (!DecodeSegments(ctx->codewords, dataCount, cand.version, header, result.data,
                               kMaxContentBytes, &result.length)) {
      continue;
    }

    try {
      ctx->results.push_back(result);
    } catch (const std::bad_alloc&) {
      ctx->results.clear();
      ctx->results.shrink_to_fit();
      ctx->outOfMemory = true;
      return 0;
    }
  }
  return static_cast<int32_t>(ctx->results.size());
}

void OrderResults(std::vector<QrResult>* results) {
  std::vector<QrResult>& r = *results;
  const int32_t count = static_cast<int32_t>(r.size());
  auto span = [&](int32_t i, int32_t* lo, int32_t* hi) {
    const int32_t* c = r[i].corners;
    *lo = std::min({c[1], c[3], c[5], c[7]});
    *hi = std::max({c[1], c[3], c[5], c[7]});
  };
  for (int32_t i = 0; i + 1 < count; ++i) {
    int32_t lo = 0, hi = 0;
    span(i, &lo, &hi);
    const int64_t tol = (int64_t{hi} - lo) / 4;
    for (int32_t j = i + 1; j < count; ++j) {
      int32_t lo2 = 0, hi2 = 0;
      span(j, &lo2, &hi2);
      const bool sameRow = std::abs(int64_t{lo} - lo2) <= tol || std::abs(int64_t{hi} - hi2) <= tol;
      const bool exchange = sameRow ? r[i].corners[0] > r[j].corners[0] : r[i].corners[1] > r[j].corners[1];
      if (exchange) {
        std::swap(r[i], r[j]);
        span(i, &lo, &hi);
      }
    }
  }
}

int32_t RunPipeline(QrDecodeContext* ctx, const QrBinaryImage& img, std::vector<QrRowHit>* hits) {
  ctx->image = img;
  ctx->rs.budget = ctx->rs.spent + kCorrectionBudget;
  if (img.w < 21 || img.h < 21) return 0;
  if (!FindFinders(img, &ctx->finders, hits)) {
    ctx->outOfMemory = true;
    return 0;
  }
  if (ctx->finders.size() < 3) return 0;
  if (!BuildCandidates(img, ctx->finders, &ctx->candidates, &ctx->triplesExamined)) {
    ctx->outOfMemory = true;
    return 0;
  }
  if (ctx->candidates.empty()) return 0;
  const int32_t count = DecodeCandidates(ctx);
  if (count >= 2) OrderResults(&ctx->results);
  return count;
}

}  // namespace vantrel::qr
