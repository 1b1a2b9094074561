#include "app/saved_capture_loader.h"

namespace ostrel {

namespace {
    // How long to look away when a FIFO's writer has nothing yet.
    constexpr int kWaitingMs = 20;
} // namespace

SavedCaptureLoader::SavedCaptureLoader(CaptureSession& session, long long limit)
    : session_(session)
    , limit_(limit)
{
    next_.setSingleShot(true);
    connect(&next_, &QTimer::timeout, this, [this] { step(); });
}

bool SavedCaptureLoader::open(const std::string& path, std::string& error)
{
    auto reader = std::make_unique<SavedCaptureReader>();
    if (!reader->open(path, limit_, error))
        return false;
    if (reader->unsureZeros() > 0 && dropZeros && dropZeros(path, reader->unsureZeros()))
        reader->dropUnsureZeros();
    reader_ = std::move(reader);
    next_.start(0);
    return true;
}

void SavedCaptureLoader::step()
{
    if (!reader_)
        return;
    std::string message;
    switch (reader_->step(session_, message)) {
    case SavedCaptureReader::Step::More:
        next_.start(0);
        return;
    case SavedCaptureReader::Step::Waiting:
        next_.start(kWaitingMs);
        return;
    case SavedCaptureReader::Step::Done:
        break;
    case SavedCaptureReader::Step::Stopped:
    case SavedCaptureReader::Step::Failed:
        if (told)
            told(message);
        break;
    }
    reader_.reset();
    if (taken)
        taken();
}

} // namespace ostrel
