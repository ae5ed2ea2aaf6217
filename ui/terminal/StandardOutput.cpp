#include "ui/terminal/StandardOutput.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavox {
namespace {

std::atomic<StandardOutputBuffer*> live{nullptr};
static_assert(std::atomic<StandardOutputBuffer*>::is_always_lock_free);

// Marks the buffer busy for the lifetime of the guard.
class Busy {
public:
    explicit Busy(volatile std::sig_atomic_t& flag) noexcept : flag_(flag) {
        flag_ = 1;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    ~Busy() {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        flag_ = 0;
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    volatile std::sig_atomic_t& flag_;
};

}  // namespace

StandardOutputBuffer::StandardOutputBuffer(int fd) : fd_(fd), unwritten_(buffer_) {
    setp(buffer_, buffer_ + sizeof buffer_);
    live.store(this);
}

StandardOutputBuffer::~StandardOutputBuffer() {
    live.store(nullptr);
    Busy busy(busy_);
    Drain();
}

// After a failure the rest is dropped: the stream reports it, as std::cout would.
bool StandardOutputBuffer::Drain() {
    WriteOut();
    unwritten_ = buffer_;
    setp(buffer_, buffer_ + sizeof buffer_);
    return error_ == 0;
}

// Writes [unwritten_, pptr()) and advances unwritten_ as the writes go.
void StandardOutputBuffer::WriteOut() noexcept {
    char* const end = pptr();
    while (error_ == 0 && unwritten_ < end) {
        const ssize_t n = ::write(fd_, unwritten_, static_cast<std::size_t>(end - unwritten_));
        if (n < 0) {
            if (errno != EINTR) error_ = errno;
        } else {
            unwritten_ = unwritten_ + n;
        }
    }
}

void StandardOutputBuffer::WriteOutFromSignal() noexcept {
    StandardOutputBuffer* const buffer = live.load();
    if (buffer == nullptr || buffer->busy_ != 0) return;
    const int saved = errno;
    buffer->WriteOut();
    errno = saved;
}

StandardOutputBuffer::int_type StandardOutputBuffer::overflow(int_type c) {
    Busy busy(busy_);
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize StandardOutputBuffer::xsputn(const char* s, std::streamsize n) {
    Busy busy(busy_);
    std::streamsize done = 0;
    while (done < n) {
        if (pptr() == epptr() && !Drain()) return done;
        const std::streamsize room = epptr() - pptr();
        const std::streamsize take = n - done < room ? n - done : room;
        std::memcpy(pptr(), s + done, static_cast<std::size_t>(take));
        pbump(static_cast<int>(take));
        done += take;
    }
    return done;
}

int StandardOutputBuffer::sync() {
    Busy busy(busy_);
    return Drain() ? 0 : -1;
}

}  // namespace tavox
