// SIGINT and SIGTERM (Ctrl+C in a terminal, logging out) end the station the
// normal way: the handler only writes to a pipe, and the window thread then
// closes the window, so the shutdown writes the settings as after "終了".
// A second signal ends the process at once.
#ifndef VANTREL_SIGNAL_CLOSE_H
#define VANTREL_SIGNAL_CLOSE_H

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace vantrel {

class SignalClose : public QObject {
 public:
  // `close` runs on the window thread after the first signal.
  explicit SignalClose(std::function<void()> close);
  ~SignalClose() override;
  bool installed() const { return notifier_ != nullptr; }

 private:
  std::function<void()> close_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantrel

#endif
