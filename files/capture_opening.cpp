#include "files/capture_opening.h"

#include "files/capture_file_format.h"

namespace ostrel {

bool OpenSavedCapture(CaptureSession& session, const std::string& path, std::string& error)
{
    std::string bytes;
    if (!ReadReceivedBytes(path, bytes, error))
        return false;
    // In pieces, as a port would hand them over, so that a long file keeps
    // the window's memory as flat as a long capture does.
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t at = 0; at < bytes.size(); at += kPiece)
        session.UpdateData(std::string_view(bytes).substr(at, kPiece));
    return true;
}

} // namespace ostrel
