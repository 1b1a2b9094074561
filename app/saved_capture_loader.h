#pragma once

#include "files/capture_opening.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace ostrel {

// Takes a saved capture into the session a slice each turn of the event loop,
// up to a size limit. Opening another file stops the one being read.
class SavedCaptureLoader : public QObject {
public:
    SavedCaptureLoader(CaptureSession& session, long long limit);

    // False with a reason naming the file when it cannot be opened; the bytes
    // follow from the event loop.
    bool open(const std::string& path, std::string& error);
    bool reading() const { return reader_ != nullptr; }

    // The file has been taken whole, or as far as it goes.
    std::function<void()> taken;
    // Something to tell the user: the limit was reached, or reading failed.
    std::function<void(const std::string&)> told;
    // A raw capture file ends in zeros that may be padding or NULs received,
    // and nothing beside it says which: true drops them.
    std::function<bool(const std::string& path, long long zeros)> dropZeros;

private:
    void step();

    CaptureSession& session_;
    long long limit_;
    std::unique_ptr<SavedCaptureReader> reader_;
    QTimer next_;
};

} // namespace ostrel
