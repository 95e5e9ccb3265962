// A stand-in for slow media, loaded with LD_PRELOAD into the programs scripts/bench.sh times:
// every flush to the device (fsync, fdatasync) first waits 20 ms, as one does on a USB stick,
// an SD card or a spinning disk, then flushes as asked.
#include <dlfcn.h>
#include <time.h>

namespace {

void Wait20Milliseconds() {
    timespec pause = {0, 20 * 1000 * 1000};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

template <typename Call> Call Real(const char* name) {
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd) {
    Wait20Milliseconds();
    return Real<int (*)(int)>("fsync")(fd);
}

extern "C" int fdatasync(int fd) {
    Wait20Milliseconds();
    return Real<int (*)(int)>("fdatasync")(fd);
}
