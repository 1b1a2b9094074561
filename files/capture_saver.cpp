#include "files/capture_saver.h"

#include "files/capture_file_format.h"

#include "files/atomic_file.h"

namespace ostrel {

void CaptureSaver::cmdSaveCommands_Click(const LineView& listCommands, const CaptureState& state)
{
    CommonDialog1_.setDialogTitle("Save Serial Print Commands To A File");
    CommonDialog1_.setFilter("Text Files | *.txt");
    CommonDialog1_.ShowSave();
    const std::string chosen = CommonDialog1_.FileName();
    if (chosen.empty())
        return;
    // The two files belong together: when the raw file can be seen to be
    // impossible (its name is a folder, too long, in a folder that cannot be
    // written), say so before the log is replaced.
    const std::string rawName = RawCaptureFileName(chosen, FileNamesIgnoreCase());
    OutputPlace place;
    std::string problem;
    if (!FindOutputPlace(chosen, place, problem) || !FindOutputPlace(rawName, place, problem)) {
        showFailure(problem);
        return;
    }
    if (!SaveCommandLog(chosen, listCommands))
        return;
    SaveRawCapture(rawName, state);
}

bool CaptureSaver::SaveCommandLog(const std::string& fileName, const LineView& listCommands)
{
    if (!writeWhole(fileName, ViewFileBytes(listCommands)))
        return false;
    messages_.showSaved("Command History Saved as " + fileName);
    return true;
}

bool CaptureSaver::SaveRawCapture(const std::string& fileName, const CaptureState& state)
{
    return writeWhole(fileName, RawCaptureFileBytes(state));
}

bool CaptureSaver::writeWhole(const std::string& fileName, const std::string& bytes)
{
    std::string problem;
    if (WriteWholeFile(fileName, bytes, problem))
        return true;
    showFailure(problem);
    return false;
}

void CaptureSaver::showFailure(const std::string& problem)
{
    messages_.showSaveFailure(
        "Could not save " + problem + "\r\nThe capture is unchanged; you can save it elsewhere.");
}

} // namespace ostrel
