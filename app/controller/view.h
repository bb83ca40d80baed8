// What the controller needs of its window: the effects it asks for, nothing else. A front end
// (console, window toolkit, or a test's recording view) implements them.
#pragma once

#include <optional>
#include <string>

namespace app {

enum class DialogResult { Ok, Cancel };

// How an appended entry relates to the rest of the display.
enum class EntryKind {
  Plain,
  Progress,  // "DownLoad n%", "UpLoad Flash n%": repeats what the progress position shows
};

// What a progress position measures.
enum class ProgressKind {
  Download,      // the download file sent to the receiver
  UploadFlash,   // the packed flash image read from the receiver
  UploadEeprom,  // the EEPROM image read from the receiver
};

class View {
 public:
  virtual ~View() = default;

  // A new entry was appended to the message list. `allText` is the whole list; a list view
  // shows it scrolled down by `scrollBy` lines so that the last entries are in view.
  virtual void AppendMessage(const std::string& entry, EntryKind kind, const std::string& allText,
                             int scrollBy) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // Progress position, 0 to 100, of the transfer `kind`.
  virtual void SetProgress(int percent, ProgressKind kind) = 0;
  virtual void EnableControl(int controlId, bool enable) = 0;
  // Shows a message box (type: pw::kMb* flags) and returns the button pressed (pw::kId*).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;
  // Moves the window to a screen position, keeping its size and without activating it.
  virtual void Move(int x, int y) = 0;
  // Closes the window with a result; the front end ends its loop.
  virtual void Close(DialogResult result) = 0;
  // The open-file dialog of "File Open": a path, or nothing when the operator cancels.
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& initialFolder,
                                                      const std::string& filter) = 0;
};

}  // namespace app
