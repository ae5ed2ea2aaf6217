#pragma once

#include <streambuf>

namespace tavox {

// Standard output as the program writes it: buffered, written with write(2)
// when flushed or full, and remembering the first failure with its reason,
// which std::cout's own buffer drops. Install it with std::cout.rdbuf.
class StandardOutputBuffer : public std::streambuf {
public:
    explicit StandardOutputBuffer(int fd);
    ~StandardOutputBuffer() override;
    StandardOutputBuffer(const StandardOutputBuffer&) = delete;
    StandardOutputBuffer& operator=(const StandardOutputBuffer&) = delete;

    // The errno of the first failed write, 0 while none failed.
    int Error() const noexcept { return error_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool Drain();

    int fd_;
    int error_ = 0;
    char buffer_[4096];
};

}  // namespace tavox
