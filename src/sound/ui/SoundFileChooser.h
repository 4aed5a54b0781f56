#pragma once

#include <string>

class QWidget;

namespace viren {

// Asks the user for a sound file to add to the list. The window program opens
// a file dialog; tests answer from a script.
class SoundFileChooser {
 public:
  virtual ~SoundFileChooser() = default;
  // The full path of the chosen file; empty when the user cancelled.
  virtual std::string ChooseSoundFile(QWidget* parent) = 0;
};

// The file dialog for opening a wave or MIDI file.
class QtSoundFileChooser : public SoundFileChooser {
 public:
  std::string ChooseSoundFile(QWidget* parent) override;
};

}  // namespace viren
