// The hand-over between the window thread and GStreamer's streaming threads.
//
// GStreamer passes work to its threads through queues of its own, built on
// futexes that a race detector cannot follow, so it cannot see that the
// objects a callback touches were made before the stream started, or that the
// stream had stopped before they were destroyed. Every streaming callback of
// the capture back end passes this fence when it starts and when it ends, and
// the window thread passes it before a stream starts and after it stopped:
// the hand-over becomes an ordinary lock that every tool understands. It costs
// one uncontended lock per frame.
#ifndef VANTREL_CAPTURE_STREAMING_FENCE_H
#define VANTREL_CAPTURE_STREAMING_FENCE_H

namespace vantrel {

void PassStreamingFence();

// Passes the fence when made and again when destroyed.
class StreamingFenceScope {
 public:
  StreamingFenceScope() { PassStreamingFence(); }
  ~StreamingFenceScope() { PassStreamingFence(); }
  StreamingFenceScope(const StreamingFenceScope&) = delete;
  StreamingFenceScope& operator=(const StreamingFenceScope&) = delete;
};

}  // namespace vantrel

#endif
