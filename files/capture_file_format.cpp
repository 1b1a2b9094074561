#include "files/capture_file_format.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ostrel {

std::string ViewFileBytes(const LineView& view)
{
    std::string bytes;
    const int count = view.lineCount();
    for (int index = 0; index < count; ++index) {
        bytes += view.line(index);
        bytes += "\r\n";
    }
    return bytes;
}

std::string RawCaptureFileBytes(const CaptureState& state)
{
    return {state.captureBuffer.begin(), state.captureBuffer.end()};
}

namespace {

std::size_t FileNameStart(const std::string& path)
{
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\:");
#else
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? 0 : slash + 1;
}

bool SameName(const std::string& a, const std::string& b, bool ignoreCase)
{
    if (!ignoreCase)
        return a == b;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string RawCaptureFileName(const std::string& logFileName, bool caseInsensitiveNames)
{
    const std::size_t dot = logFileName.find('.', FileNameStart(logFileName));
    if (dot == std::string::npos)
        return logFileName + ".bin";

    std::string rawName = logFileName;
    const std::string_view extension = ".bin";
    for (std::size_t i = 0; i < extension.size() && dot + i < rawName.size(); ++i)
        rawName[dot + i] = extension[i];

    if (SameName(rawName, logFileName, caseInsensitiveNames))
        return logFileName + ".bin";
    return rawName;
}

bool FileNamesIgnoreCase()
{
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return false;
#endif
}

bool ReadReceivedBytes(const std::string& path, std::string& bytes, std::string& error)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = "cannot read " + path + ": it is a folder";
        return false;
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (file) {
        std::ostringstream all;
        all << file.rdbuf();
        bytes = all.str();
    }
    if (!file || file.bad()) {
        error = "cannot read " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    constexpr std::size_t kRawFileSize = CaptureState::kCaptureLast + 1;
    if (bytes.size() == kRawFileSize && bytes[0] == '\0')
        bytes.erase(0, 1);
    return true;
}

} // namespace ostrel
