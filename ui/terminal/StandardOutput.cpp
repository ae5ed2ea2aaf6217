#include "ui/terminal/StandardOutput.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavox {

StandardOutputBuffer::StandardOutputBuffer(int fd) : fd_(fd) {
    setp(buffer_, buffer_ + sizeof buffer_);
}

StandardOutputBuffer::~StandardOutputBuffer() {
    Drain();
}

// After a failure the rest is dropped: the stream reports it, as std::cout would.
bool StandardOutputBuffer::Drain() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
        const ssize_t n = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (n < 0) {
            if (errno != EINTR) error_ = errno;
        } else {
            next += n;
        }
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return error_ == 0;
}

StandardOutputBuffer::int_type StandardOutputBuffer::overflow(int_type c) {
    if (!Drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize StandardOutputBuffer::xsputn(const char* s, std::streamsize n) {
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
    return Drain() ? 0 : -1;
}

}  // namespace tavox
