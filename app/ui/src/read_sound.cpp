#include "vantrel/read_sound.h"

#include <QCoreApplication>
#include <QFileInfo>

#ifdef VANTREL_HAVE_SOUND
#include <QSoundEffect>
#endif

// The built-in sound lives in a static library: its resource is registered
// by hand (outside any namespace, as the resource system wants it).
static void RegisterSoundResource() { Q_INIT_RESOURCE(station_sounds); }

namespace vantrel {

ReadSound::ReadSound(QObject* parent) : QObject(parent) {
  static const bool registered = (RegisterSoundResource(), true);
  (void)registered;
}

ReadSound::~ReadSound() = default;

QUrl ReadSound::SoundSource() {
  // bin/vantrel beside share/vantrel/sounds.
  const QString installed =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vantrel/sounds/read.wav");
  if (QFileInfo(installed).isFile()) return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath());
  return QUrl(QStringLiteral("qrc:/vantrel/sounds/read.wav"));
}

void ReadSound::Prepare() {
#ifdef VANTREL_HAVE_SOUND
  if (effect_ != nullptr) return;
  // The effect loads and plays on threads of its own; without a device its
  // status becomes an error and playing does nothing.
  effect_ = new QSoundEffect(this);
  effect_->setSource(SoundSource());
  effect_->setVolume(0.8f);
#endif
}

void ReadSound::Play() {
  ++plays_;
#ifdef VANTREL_HAVE_SOUND
  Prepare();
  if (effect_->status() == QSoundEffect::Error) return;
  if (effect_->isPlaying()) effect_->stop();
  effect_->play();
#endif
}

}  // namespace vantrel
