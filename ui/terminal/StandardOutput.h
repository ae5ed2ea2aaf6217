#pragma once

#include <csignal>
#include <streambuf>

namespace tavox {

// Standard output as the program writes it: buffered, written with write(2)
// when flushed or full, and remembering the first failure with its reason,
// which std::cout's own buffer drops. Install it with std::cout.rdbuf. At
// most one is alive at a time.
class StandardOutputBuffer : public std::streambuf {
public:
    explicit StandardOutputBuffer(int fd);
    ~StandardOutputBuffer() override;
    StandardOutputBuffer(const StandardOutputBuffer&) = delete;
    StandardOutputBuffer& operator=(const StandardOutputBuffer&) = delete;

    // The errno of the first failed write, 0 while none failed.
    int Error() const noexcept { return error_; }

    // Writes out what the live buffer holds, for a signal handler before the
    // signal ends the program; async-signal-safe. Does nothing while the
    // program is itself inside the buffer (it writes that out soon after), or
    // when no buffer is alive.
    static void WriteOutFromSignal() noexcept;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool Drain();
    void WriteOut() noexcept;

    int fd_;
    int error_ = 0;
    // Set while a member changes the buffer; a signal handler then leaves it alone.
    volatile std::sig_atomic_t busy_ = 0;
    // The first byte of the buffer not yet written (the handler may advance it).
    char* volatile unwritten_;
    char buffer_[4096];
};

}  // namespace tavox
