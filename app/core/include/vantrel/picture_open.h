// A picture file into the station's displayed slot ("開く" and a file dropped
// on the preview): any picture the command-line reader reads (BMP, PNG, JPEG,
// TIFF, GIF, told by the file's first bytes; VANTREL_MAX_PIXELS applies), fitted
// into the slot, whose size and depth stay as they are.
//
// Fitting: a picture that fits lands on the slot's top-left corner; a larger
// one is shrunk to fit (each slot pixel the mean of the picture pixels it
// covers, the proportions kept), so that a photo from a phone shows, and reads,
// whole. What the picture does not cover becomes white, so nothing of the
// previous frame is left to be read as if it were in the file.
#ifndef VANTREL_PICTURE_OPEN_H
#define VANTREL_PICTURE_OPEN_H

#include <cstdint>

#include "vantrel/dib.h"
#include "vantrel/dib_file.h"

namespace vantrel {

// The statuses "File open error (%d)" shows: those of DibReadStatus, and one
// for a station without a picture to load into.
enum PictureOpenStatus : int32_t {
  kPictureOpened = kDibReadOk,                     // 0
  kPictureCannotOpen = kDibReadCannotOpen,         // 1 missing, unreadable, not a regular file
  kPictureUnknownFormat = kDibReadUnknownFormat,   // 2 none of BMP, PNG, JPEG, TIFF, GIF
  kPictureBroken = kDibReadBroken,                 // 3 damaged or cut short
  kPictureUnsupported = kDibReadUnsupported,       // 4 a valid file of a kind not read
  kPictureTooLarge = kDibReadTooLarge,             // 5 more pixels than the limit
  kPictureNoMemory = kDibReadNoMemory,             // 6
  kPictureNoSlot = 7,                              // the ring holds no picture
};

// Reads a picture file into a new picture (24 or 8 bits); null with *status
// set when it cannot be read. Any thread.
DibImage ReadPictureForSlot(const char* path, int32_t* status);

// Fits a picture (8, 24 or 32 bits) into a 24-bit slot as described above.
// False, with the slot untouched, when either is missing or of another depth.
bool FitPictureIntoSlot(DibImage picture, DibImage slot);

}  // namespace vantrel

#endif
