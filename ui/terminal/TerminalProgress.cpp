#include "ui/terminal/TerminalProgress.h"

#include <ostream>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "app/Files.h"
#include "app/ProgressText.h"
#include "engine/File.h"

namespace tavox {

TerminalProgress::TerminalProgress(std::ostream& out, std::ostream& err, bool live, ResultLines lines,
                                   bool flushEachLine)
    : out_(out), err_(err), live_(live), lines_(lines), flushEachLine_(flushEachLine) {}

TerminalProgress::~TerminalProgress() {
    ClearLive();
}

void TerminalProgress::Attach(const std::shared_ptr<Application>& app) {
    apl = app;
    app->Subscribe(shared_from_this());
}

void TerminalProgress::WillExecute(std::int16_t&) {
    const auto app = apl.lock();
    tally_.Begin(app ? app->FFTFiles()->Count() : 0);
    DrawLive();
}

void TerminalProgress::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    tally_.FileDone(Result);
    if (lines_ == ResultLines::All) {
        ClearLive();
        name_.clear();
        if (File) AppendDisplayText(name_, File->Name());
        WriteResultLine(line_, name_, Result);
        line_ += '\n';
        out_ << line_;
        LineWritten();
    }
    DrawLive();
}

void TerminalProgress::LineWritten() {
    const auto now = std::chrono::steady_clock::now();
    if (!flushEachLine_ && now - lastFlush_ < FlushInterval) return;
    out_.flush();
    lastFlush_ = now;
}

void TerminalProgress::Flush() {
    flushEachLine_ = true;
    out_.flush();
}

void TerminalProgress::ExecuteComplete() {
    tally_.Complete();
    ClearLive();
    if (lines_ == ResultLines::None) return;
    out_ << "Kalmira [dokončeno - " << ProgressPercent(tally_.done, tally_.total) << "]\n" << std::flush;
}

void TerminalProgress::ClearLive() {
    if (!liveShown_) return;
    err_ << "\r\033[K" << std::flush;
    liveShown_ = false;
}

void TerminalProgress::DrawLive() {
    if (!live_) return;
    err_ << "\r\033[K" << tally_.done << '/' << tally_.total << ", " << ProgressPercent(tally_.done, tally_.total)
         << std::flush;
    liveShown_ = true;
}

}  // namespace tavox
