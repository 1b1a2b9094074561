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
    return { state.captureBuffer.begin(), state.captureBuffer.end() };
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
        return a.size() == b.size()
            && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x))
                       == std::tolower(static_cast<unsigned char>(y));
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

std::optional<long long> ReceivedLengthFromLog(std::string_view log, std::string_view received)
{
    // Each line lists its bytes in hex before the description's ">".
    constexpr std::size_t kDescriptionColumn = 48;
    std::string listed;
    const auto hexDigit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    while (!log.empty()) {
        const std::size_t end = log.find("\r\n");
        if (end == std::string_view::npos)
            return std::nullopt; // every line of a saved log ends with CR LF
        std::string_view line = log.substr(0, std::min(end, kDescriptionColumn));
        log.remove_prefix(end + 2);
        for (std::size_t at = 0; at < line.size();) {
            if (line[at] == ' ') {
                ++at;
                continue;
            }
            if (at + 1 >= line.size() || hexDigit(line[at]) < 0 || hexDigit(line[at + 1]) < 0
                || (at + 2 < line.size() && line[at + 2] != ' '))
                return std::nullopt;
            listed += static_cast<char>(hexDigit(line[at]) * 16 + hexDigit(line[at + 1]));
            at += 2;
        }
        if (listed.size() > received.size())
            return std::nullopt;
    }
    if (received.substr(0, listed.size()) != listed
        || received.substr(listed.size()).find_first_not_of('\0') != std::string_view::npos)
        return std::nullopt;
    return static_cast<long long>(listed.size());
}

} // namespace ostrel
