#include "streaming_fence.h"

#include <mutex>

namespace vantrel {

namespace {
// Constant-initialized, so that no thread ever writes it before use.
std::mutex streamingFence;
}  // namespace

void PassStreamingFence() { std::lock_guard<std::mutex> lock(streamingFence); }

}  // namespace vantrel
