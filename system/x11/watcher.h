// A thread that watches the X connection, so that a poll with nothing pending costs no
// system call: the main thread reads a flag instead of asking the kernel.
#pragma once

#include <atomic>
#include <thread>

namespace corvex::x11 {

class TConnectionWatcher {
public:
    ~TConnectionWatcher();
    void Start(int fd);                // watch fd (once); the flag starts set
    bool Readable() const { return _readable.load(std::memory_order_acquire); }
    void Consumed();                   // main thread, after reading everything: watch again
    void Stop();

private:
    void Run();
    int _fd = -1;
    int _resumeFd = -1;                // eventfd: the main thread has read the connection
    int _stopFd = -1;                  // eventfd: end the thread
    std::atomic<bool> _readable{true};
    std::thread _thread;
};

}  // namespace corvex::x11
