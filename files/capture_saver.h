#pragma once

#include "capture/capture_state.h"
#include "capture/line_view.h"
#include "files/common_dialog.h"

#include <string>

namespace ostrel {

// The message boxes of a save: modal, with the program's title and one OK button.
class SaveMessages {
public:
    virtual ~SaveMessages() = default;
    virtual void showSaved(const std::string& message) = 0;
    virtual void showSaveFailure(const std::string& message) = 0;
};

// Save Capture: asks for a name, writes the command log to it, confirms, then
// writes the raw capture next to it. Each file is written to a temporary file,
// every write, sync and close checked, and renamed over the old one only when
// all its bytes are on disk, so a failed save leaves the old file as it was; a
// failure is shown, naming the file and the reason, and nothing captured is
// touched.
class CaptureSaver {
public:
    CaptureSaver(CommonDialog& CommonDialog1, SaveMessages& messages)
        : CommonDialog1_(CommonDialog1)
        , messages_(messages)
    {
    }

    // The log and the capture are read when each file is written: reception
    // goes on while the dialog and the message box are open.
    void cmdSaveCommands_Click(const LineView& listCommands, const CaptureState& state);

    // Each returns false when its file could not be written (already shown).
    bool SaveCommandLog(const std::string& fileName, const LineView& listCommands);
    bool SaveRawCapture(const std::string& fileName, const CaptureState& state);

private:
    bool writeWhole(const std::string& fileName, const std::string& bytes);
    void showFailure(const std::string& problem);

    CommonDialog& CommonDialog1_;
    SaveMessages& messages_;
};

} // namespace ostrel
