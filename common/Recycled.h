#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <new>

namespace tavox {

// Memory for objects that a batch makes and drops once per file: the last
// few freed blocks of a class wait for its next object, so that a steady
// batch does not go to the allocator for them. Derive as
// `class X : public Recycled<X>`; objects of a further derived class of
// another size are allocated as usual. Any thread may make and drop them:
// each thread keeps a few blocks without a lock, and up to Keep more wait
// where every thread finds them.
template <class T, std::size_t Keep = 64>
class Recycled {
public:
    static void* operator new(std::size_t bytes) {
        if (bytes == sizeof(T)) {
            if (void* block = Local().Take()) return block;
            if (void* block = Shared().Take()) return block;
        }
        return ::operator new(bytes);
    }
    static void operator delete(void* block, std::size_t bytes) noexcept {
        if (bytes == sizeof(T) && (Local().Give(block) || Shared().Give(block))) return;
        ::operator delete(block);
    }

private:
    template <std::size_t Size>
    struct Stack {
        std::array<void*, Size> kept{};
        std::size_t count = 0;

        void* Take() noexcept { return count == 0 ? nullptr : kept[--count]; }
        bool Give(void* block) noexcept {
            if (count == Size) return false;
            kept[count++] = block;
            return true;
        }
    };
    struct SharedStack {
        std::mutex mutex;
        Stack<Keep> stack;

        void* Take() noexcept {
            std::lock_guard lock(mutex);
            return stack.Take();
        }
        bool Give(void* block) noexcept {
            std::lock_guard lock(mutex);
            return stack.Give(block);
        }
    };
    // A thread's blocks go to the shared ones when it ends; a thread that
    // has ended keeps none.
    struct ThreadStack {
        Stack<8> stack;
        bool gone = false;

        ~ThreadStack() {
            gone = true;
            while (void* block = stack.Take()) {
                if (!Shared().Give(block)) ::operator delete(block);
            }
        }
        void* Take() noexcept { return gone ? nullptr : stack.Take(); }
        bool Give(void* block) noexcept { return !gone && stack.Give(block); }
    };

    static ThreadStack& Local() noexcept {
        thread_local ThreadStack stack;
        return stack;
    }
    // Never destroyed, so that objects dropped during the exit still find
    // it; what it keeps stays reachable.
    static SharedStack& Shared() noexcept {
        static SharedStack* const shared = new SharedStack;
        return *shared;
    }
};

}  // namespace tavox
