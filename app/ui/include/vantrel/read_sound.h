// The read sound ("読取音"): a short sound for each new history entry, played
// without holding up the window thread.
//
// The sound is the installed file <prefix>/share/vantrel/sounds/read.wav when
// there is one (so that a site can put its own there), else the one built into
// the program. Without a sound device, or in a build without Qt Multimedia,
// playing does nothing and says nothing. Window thread only.
#ifndef VANTREL_READ_SOUND_H
#define VANTREL_READ_SOUND_H

#include <QObject>
#include <QUrl>

#include <cstdint>

class QSoundEffect;

namespace vantrel {

class ReadSound : public QObject {
 public:
  explicit ReadSound(QObject* parent = nullptr);
  ~ReadSound() override;

  // Loads the sound (once), so that the first play is not late.
  void Prepare();
  // Plays the sound once; returns at once. A play while the last one still
  // sounds starts it again.
  void Play();

  // Plays asked for so far (the tests count them; no device needed).
  int32_t plays() const { return plays_; }
  // The sound that plays.
  static QUrl SoundSource();

 private:
  QSoundEffect* effect_ = nullptr;
  int32_t plays_ = 0;
};

}  // namespace vantrel

#endif
