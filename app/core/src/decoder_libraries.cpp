#include "vantrel/decoder_libraries.h"

#include "vantrel/OvoDmx.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/ovoutil.h"

namespace vantrel {

int32_t DecoderLibraries::Start(Libraries which, Libraries* failed) {
  struct Step {
    Libraries library;
    bool* running;
    int32_t (*start)();
  };
  const Step steps[] = {
      {kQr, &qr_, &OvoQrcInitialize},
      {kDataMatrix, &dmx_, &OvoDmxInitialize},
      {kUtil, &util_, &OvoUtilInitialize},
  };
  for (const Step& step : steps) {
    if ((which & step.library) == 0 || *step.running) continue;
    if (const int32_t status = step.start(); status != 0) {
      if (failed != nullptr) *failed = step.library;
      return status;
    }
    *step.running = true;
    if (step.library == kQr && qrParameters_ == QrParameterFile::kNone) OvoQrcSetParameterFile(nullptr);
  }
  return 0;
}

void DecoderLibraries::Stop() {
  if (util_) OvoUtilTerminate();
  util_ = false;
  if (dmx_) OvoDmxTerminate();
  dmx_ = false;
  if (qr_) OvoQrcTerminate();
  qr_ = false;
}

}  // namespace vantrel
