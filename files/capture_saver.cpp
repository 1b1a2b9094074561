#include "files/capture_saver.h"

#include "files/capture_file_format.h"

#include <QSaveFile>

namespace ostrel {

void CaptureSaver::cmdSaveCommands_Click(const LineView& listCommands, const CaptureState& state)
{
    CommonDialog1_.setDialogTitle("Save Serial Print Commands To A File");
    CommonDialog1_.setFilter("Text Files | *.txt");
    CommonDialog1_.ShowSave();
    const std::string chosen = CommonDialog1_.FileName();
    if (chosen.empty())
        return;
    if (!SaveCommandLog(chosen, listCommands))
        return;
    SaveRawCapture(RawCaptureFileName(chosen, FileNamesIgnoreCase()), state);
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
    QSaveFile file(QString::fromStdString(fileName));
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                             static_cast<qint64>(bytes.size()) &&
                         file.commit();
    if (written)
        return true;
    const std::string reason = file.errorString().toStdString();
    file.cancelWriting();
    messages_.showSaveFailure("Could not save " + fileName + "\r\n" + reason +
                              "\r\nThe capture is unchanged; you can save it elsewhere.");
    return false;
}

} // namespace ostrel
